// Does what mthc-pack does, through the installed library only: checks and
// unpacks a container as -t and -d do, lists it as -l -v does, packs the MIDI
// file again and checks that it converts back the same, and says what is
// wrong with a copy of the container cut short, in mthc-pack -t's words.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mthc/mthc.hpp>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_file(const char* path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: mthc_consumer <in.mthc> <out.mid> <cut.mthc> <cut-error.txt>\n");
    return 2;
  }
  // The headers and the library linked are of the same version.
  if (mthc::version_number() != MTHC_VERSION_NUMBER ||
      std::string(mthc::version_string()) != MTHC_VERSION_STRING) {
    std::fprintf(stderr, "headers %s, library %s\n", MTHC_VERSION_STRING, mthc::version_string());
    return 1;
  }
  const std::vector<std::uint8_t> image = read_file(argv[1]);
  const mthc::unpack_result unpacked = mthc::unpack_container(image);
  if (unpacked.error != mthc::unpack_error::none) {
    std::fprintf(stderr, "%s\n", mthc::error_text(unpacked).c_str());
    return 1;
  }
  const auto midi = unpacked.midi_file.used();
  if (!write_file(argv[2], midi)) return 1;

  const mthc::file_summary listed = mthc::summarize_file(image);
  std::size_t notes = 0;
  for (const mthc::track_summary& track : listed.music.tracks)
    notes += track.notes;
  std::printf("%zu blocks, %zu tracks, %zu notes, %.1f s\n", listed.blocks,
              static_cast<std::size_t>(listed.header.track_count), notes,
              listed.music.duration_seconds);
  if (listed.error != mthc::file_error::none || notes == 0) return 1;

  const mthc::pack_result packed = mthc::pack_midi(midi);
  if (packed.error != mthc::pack_error::none) {
    std::fprintf(stderr, "%s\n", mthc::error_text(packed).c_str());
    return 1;
  }
  const mthc::unpack_result again = mthc::unpack_container(packed.container);
  const auto midi_again = again.midi_file.used();
  if (again.error != mthc::unpack_error::none ||
      !std::equal(midi.begin(), midi.end(), midi_again.begin(), midi_again.end())) {
    std::fprintf(stderr, "the packed file does not convert back the same\n");
    return 1;
  }

  // The same container without its last bytes: refused, in the tools' words.
  const std::span<const std::uint8_t> cut(image.data(), image.size() - 3);
  const mthc::unpack_result refused = mthc::unpack_container(cut);
  if (refused.error == mthc::unpack_error::none || !write_file(argv[3], cut)) return 1;
  if (mthc::error_name(refused) != "missing_blocks") {
    std::fprintf(stderr, "the cut copy is named %s\n",
                 std::string(mthc::error_name(refused)).c_str());
    return 1;
  }
  const std::string line =
      "Error: " + std::string(argv[3]) + ": " + mthc::error_text(refused) + "\n";
  if (!write_file(argv[4], {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()})) {
    return 1;
  }
  std::printf("mthc %s: %zu bytes of MIDI, packed again into %zu bytes\n", mthc::version_string(),
              midi.size(), packed.container.size());
  return 0;
}
