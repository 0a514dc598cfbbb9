// Prints every machine name that the library gives a fault or a change
// (<mthc/messages.hpp>), one a line as "<group> <name>", for the page's test
// that its words cover them all:
//
//   error <name>         a fault of any result (pack_error, midi_error,
//                        container_fault, conversion_error, check_problem,
//                        unpack_error, file_error, encode_error), and the
//                        refusal of a file too large to read
//   track_error <name>   why a track does not read as MIDI events
//   change <name>        a change that packing made
//   pack_warning <name>  what a successful pack warns of besides its
//                        changes, named by pack_error names
//
// The enums' values count from 0 with no gaps (error_names_test checks that
// each has its name), so every value up to the first without a name is
// printed. "none" is no fault and is left out.
#include <cstdio>
#include <mthc/messages.hpp>
#include <string_view>

namespace {

void print(const char* group, std::string_view name) {
  if (name != "none") std::printf("%s %.*s\n", group, static_cast<int>(name.size()), name.data());
}

template <typename Enum, typename Name>
void print_all(const char* group, Name name) {
  for (int i = 0;; ++i) {
    const std::string_view n = name(static_cast<Enum>(i));
    if (n == "unknown") break;
    print(group, n);
  }
}

template <typename Enum>
void print_errors() {
  print_all<Enum>("error", [](Enum e) { return mthc::error_name(e); });
}

}  // namespace

int main() {
  print_errors<mthc::pack_error>();
  print_errors<mthc::midi_error>();
  print_errors<mthc::container_fault>();
  print_errors<mthc::conversion_error>();
  print_errors<mthc::check_problem>();
  print_errors<mthc::unpack_error>();
  print_errors<mthc::file_error>();
  print_errors<mthc::encode_error>();
  print("error", mthc::too_large_name());
  print_all<mthc::track_error>("track_error",
                               [](mthc::track_error e) { return mthc::error_name(e); });
  print_all<mthc::midi_change_kind>("change",
                                    [](mthc::midi_change_kind k) { return mthc::change_name(k); });
  for (const mthc::pack_error e : {mthc::pack_error::empty_track, mthc::pack_error::unknown_format,
                                   mthc::pack_error::track_unreadable}) {
    print("pack_warning", mthc::error_name(e));
  }
  return 0;
}
