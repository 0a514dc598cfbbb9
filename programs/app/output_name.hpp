// The name of the file that packing or unpacking writes beside its input.
#pragma once

#include <string>
#include <string_view>

namespace mthc::app {

// A MIDI file's extension (.mid, .midi, .rmi, .kar, in any case) becomes
// .mthc; a container's .mthc becomes .mid; any other name gets the extension
// appended ("song" becomes "song.mthc"). Only the file's own name counts:
// "a.mid/song" has no extension. Throws std::bad_alloc.
std::string output_name(std::string_view input, bool to_midi);

}  // namespace mthc::app
