// Converts a container to a MIDI file through the installed library only,
// then packs that file again and checks that it converts back the same.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mthc/mthc.hpp>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mthc_consumer <in.mthc> <out.mid>\n");
    return 2;
  }
  // The headers and the library linked are of the same version.
  if (mthc::version_number() != MTHC_VERSION_NUMBER ||
      std::string(mthc::version_string()) != MTHC_VERSION_STRING) {
    std::fprintf(stderr, "headers %s, library %s\n", MTHC_VERSION_STRING, mthc::version_string());
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  const mthc::conversion_result result = mthc::convert_to_midi(image);
  if (result.error != mthc::conversion_error::none) {
    std::fprintf(stderr, "conversion failed\n");
    return 1;
  }
  const auto midi = result.midi_file.used();
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(midi.data()), static_cast<std::streamsize>(midi.size()));

  const mthc::pack_result packed = mthc::pack_midi(midi);
  if (packed.error != mthc::pack_error::none) {
    std::fprintf(stderr, "packing failed\n");
    return 1;
  }
  const mthc::conversion_result again = mthc::convert_to_midi(packed.container);
  const auto midi_again = again.midi_file.used();
  if (again.error != mthc::conversion_error::none ||
      !std::equal(midi.begin(), midi.end(), midi_again.begin(), midi_again.end())) {
    std::fprintf(stderr, "the packed file does not convert back the same\n");
    return 1;
  }
  std::printf("mthc %s: %zu bytes of MIDI, packed again into %zu bytes\n", mthc::version_string(),
              midi.size(), packed.container.size());
  return out ? 0 : 1;
}
