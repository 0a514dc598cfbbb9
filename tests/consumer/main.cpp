// Converts a container to a MIDI file through the installed library only.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mthc/mthc.hpp>
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
  std::printf("mthc %s: %zu bytes of MIDI\n", mthc::k_version, midi.size());
  return out ? 0 : 1;
}
