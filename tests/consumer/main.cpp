// Converts a container to a MIDI file through the installed library only,
// then packs that file again and checks that it converts back the same.
#include <mthc/mthc.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mthc_consumer <in.mthc> <out.mid>\n");
    return 2;
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

  const mthc::pack_result packed = mthc::pack_midi(midi, mthc::encode_level::best);
  if (packed.fault != mthc::pack_fault::none) {
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
  std::printf("mthc %s: %zu bytes of MIDI, packed again into %zu bytes\n", mthc::k_version,
              midi.size(), packed.container.size());
  return out ? 0 : 1;
}
