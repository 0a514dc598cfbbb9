// What went wrong with a file, and what was changed in it, as facts for the
// page to put in its own words (the tools' lines name command lines and the
// format's terms; people with only the page need neither). Each fact is a
// JSON object with a "kind" and the numbers that the tools' line gives:
//
//   {"error": null or {"kind": ..., ...}, "warnings": [{"kind": ..., ...}, ...]}
//
// A track's fault is {"text", "offset"}, as in the song's summary.
#pragma once

#include <cstdint>
#include <mthc/convert_to_midi.hpp>
#include <mthc/pack_midi.hpp>
#include <span>
#include <string>

namespace mthc::web {

// The facts of a pack that ended: its error, or its warnings (the changes
// made to `smf`, its tracks without data, its first track that does not read
// as MIDI events).
std::string pack_problems(const pack_result& packed, std::span<const std::uint8_t> smf);

// Why the container `image`, converted into `converted`, is refused, as the
// checked unpack finds it first: one error object ("music": true when only
// the music is at fault, the blocks and records being sound). Empty when
// nothing is wrong.
std::string refusal_fact(std::span<const std::uint8_t> image, const conversion_result& converted);

// The facts of an unpack: `refusal` as the error, or, converted as it is,
// as the one warning {"kind": "unpacked_as_is", "fault": refusal}.
std::string unpack_problems(const std::string& refusal, bool as_is);

}  // namespace mthc::web
