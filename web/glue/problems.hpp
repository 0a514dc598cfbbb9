// What went wrong with a file, and what was changed in it, as facts for the
// page to put in its own words (the tools' lines name command lines and the
// format's terms; people with only the page need neither). Each fact is a
// JSON object with a "kind" and the numbers that the tools' line gives:
//
//   {"error": null or {"kind": ..., ...}, "warnings": [{"kind": ..., ...}, ...]}
//
// Every "kind" that is a fault or a change is the library's machine name
// for it (error_name, change_name), and so is a track fault's "name": a
// track's fault is {"name", "text", "offset"}. The tracks without data are
// one warning, {"kind": "empty_track", "count", "tracks": the first few}. A fact
// that only the music is at fault (the blocks and records being sound) has
// "music": true: converting as it is gives the file.
#pragma once

#include <mthc/pack_midi.hpp>
#include <mthc/unpack.hpp>
#include <string>

namespace mthc::web {

// The facts of a pack that ended: its error, or its warnings (the changes
// made to the file, its tracks without data, its first track that does not
// read as MIDI events). Throws std::bad_alloc.
std::string pack_problems(const pack_result& packed);

// The facts of an unpack: its refusal as the error, or, converted as it is,
// the music's fault as the one warning {"kind": "unpacked_as_is", "fault":
// ...}. Throws std::bad_alloc.
std::string unpack_problems(const unpack_result& unpacked);

}  // namespace mthc::web
