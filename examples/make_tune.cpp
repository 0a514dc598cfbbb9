// Turns a tune written as note text (see tune.txt) into a Standard MIDI File:
// format 1, a tempo track, then one track per instrument. A build tool for the
// examples, not part of the library.
//
//   make_tune <tune.txt> <tune.mid>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "midi_quantity.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

struct instrument {
  std::string name;
  unsigned channel = 0;
  unsigned program = 0;
  unsigned velocity = 100;
  bytes events;
  std::uint32_t pending = 0;  // ticks since the last event
};

void put_number(bytes& out, std::uint32_t value, int size) {
  for (int i = size - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

using mthc::test::put_quantity;

void put_event(instrument& t, std::initializer_list<std::uint8_t> event) {
  put_quantity(t.events, t.pending);
  t.pending = 0;
  t.events.insert(t.events.end(), event);
}

void put_meta_text(bytes& out, std::uint8_t type, const std::string& text) {
  out.insert(out.end(), {0x00, 0xFF, type, static_cast<std::uint8_t>(text.size())});
  out.insert(out.end(), text.begin(), text.end());
}

// "C4" = 60; "F#2", "Bb3". Returns -1 for anything else.
int parse_pitch(const std::string& text) {
  static const int k_steps[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') return -1;
  int pitch = k_steps[text[0] - 'A'];
  std::size_t at = 1;
  if (text[at] == '#')
    ++pitch, ++at;
  else if (text[at] == 'b')
    --pitch, ++at;
  if (at + 1 != text.size() || text[at] < '0' || text[at] > '9') return -1;
  pitch += 12 * (text[at] - '0' + 1);
  return pitch >= 0 && pitch <= 127 ? pitch : -1;
}

bool play(instrument& t, const std::string& token, std::uint32_t sixteenth) {
  const std::size_t colon = token.find(':');
  if (colon == std::string::npos) return false;
  const std::uint32_t length =
      static_cast<std::uint32_t>(std::stoul(token.substr(colon + 1))) * sixteenth;
  const std::string notes = token.substr(0, colon);
  if (notes == "r") {
    t.pending += length;
    return true;
  }
  std::vector<int> chord;
  std::stringstream parts(notes);
  for (std::string part; std::getline(parts, part, '+');) {
    const int pitch = parse_pitch(part);
    if (pitch < 0) return false;
    chord.push_back(pitch);
  }
  const auto on = static_cast<std::uint8_t>(0x90 | t.channel);
  for (const int p : chord)
    put_event(t, {on, static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(t.velocity)});
  t.pending += length;
  const auto off = static_cast<std::uint8_t>(0x80 | t.channel);
  for (const int p : chord)
    put_event(t, {off, static_cast<std::uint8_t>(p), 0x40});
  return true;
}

int make_tune(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: %s <tune.txt> <tune.mid>\n", argc > 0 ? argv[0] : "make_tune");
    return 1;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "Error: cannot open '%s'\n", argv[1]);
    return 1;
  }
  unsigned division = 480;
  unsigned tempo = 120;
  std::vector<instrument> tracks;
  int line_number = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    if (const std::size_t hash = line.find('#');
        hash != std::string::npos && (hash == 0 || line[hash - 1] == ' ')) {
      line.erase(hash);
    }
    std::stringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "division") {
      words >> division;
    } else if (word == "tempo") {
      words >> tempo;
    } else if (word == "track") {
      instrument t;
      words >> t.name;
      for (std::string key; words >> key;) {
        unsigned value = 0;
        words >> value;
        if (key == "channel")
          t.channel = value & 0x0F;
        else if (key == "program")
          t.program = value & 0x7F;
        else if (key == "velocity")
          t.velocity = value & 0x7F;
      }
      tracks.push_back(std::move(t));
    } else {
      if (tracks.empty()) {
        std::fprintf(stderr, "Error: line %d: notes before the first track\n", line_number);
        return 1;
      }
      unsigned times = 1;
      std::vector<std::string> tokens;
      if (word[0] == 'x') {
        times = static_cast<unsigned>(std::stoul(word.substr(1)));
      } else {
        tokens.push_back(word);
      }
      for (std::string token; words >> token;)
        tokens.push_back(token);
      for (unsigned i = 0; i < times; ++i) {
        for (const std::string& token : tokens) {
          if (!play(tracks.back(), token, division / 4)) {
            std::fprintf(stderr, "Error: line %d: cannot read '%s'\n", line_number, token.c_str());
            return 1;
          }
        }
      }
    }
  }

  bytes file = {'M', 'T', 'h', 'd'};
  put_number(file, 6, 4);
  put_number(file, 1, 2);
  put_number(file, static_cast<std::uint32_t>(tracks.size() + 1), 2);
  put_number(file, division, 2);
  auto put_track = [&file](const bytes& events) {
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    put_number(file, static_cast<std::uint32_t>(events.size()), 4);
    file.insert(file.end(), events.begin(), events.end());
  };
  bytes tempo_track;
  put_meta_text(tempo_track, 0x03, "Tune");
  const std::uint32_t microseconds = 60000000U / tempo;
  tempo_track.insert(tempo_track.end(), {0x00, 0xFF, 0x51, 0x03});
  put_number(tempo_track, microseconds, 3);
  tempo_track.insert(tempo_track.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
  tempo_track.insert(tempo_track.end(), {0x00, 0xFF, 0x2F, 0x00});
  put_track(tempo_track);
  for (instrument& t : tracks) {
    bytes head;
    put_meta_text(head, 0x03, t.name);
    head.insert(head.end(), {0x00, static_cast<std::uint8_t>(0xC0 | t.channel),
                             static_cast<std::uint8_t>(t.program)});
    head.insert(head.end(), t.events.begin(), t.events.end());
    put_quantity(head, t.pending);
    head.insert(head.end(), {0xFF, 0x2F, 0x00});
    put_track(head);
  }

  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "Error: cannot write '%s'\n", argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return make_tune(argc, argv);
  } catch (const std::exception&) {  // a number that does not read (std::stoul)
    std::fprintf(stderr, "Error: cannot read the tune\n");
    return 1;
  }
}
