// The name of the file that packing or unpacking writes beside its input,
// and the extensions that say what a file is.
#pragma once

#include <string>
#include <string_view>

namespace mthc::app {

// A MIDI file's extension (.mid, .midi, .rmi, .kar, in any case) becomes
// .mthc; a container's .mthc becomes .mid; any other name gets the extension
// appended ("song" becomes "song.mthc"). Only the file's own name counts:
// "a.mid/song" has no extension. Throws std::bad_alloc.
std::string output_name(std::string_view input, bool to_midi);

// Whether the file's own name ends in a MIDI file's extension (.mid, .midi,
// .rmi, .kar), or in a container's (.mthc), in any case: the files that a
// walk through folders takes. A name that is the extension alone (".mid")
// has none.
bool has_midi_extension(std::string_view path);
bool has_container_extension(std::string_view path);

}  // namespace mthc::app
