#include "cli/windows_console.hpp"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace mthc {

namespace {

UINT g_previous_output_code_page = 0;

extern "C" void restore_output_code_page() {
  // What is still buffered goes out in the code page it was written for.
  std::fflush(stdout);
  std::fflush(stderr);
  SetConsoleOutputCP(g_previous_output_code_page);
}

}  // namespace

void use_utf8_console() noexcept {
  const UINT previous = GetConsoleOutputCP();  // 0 without a console
  if (previous == 0 || previous == CP_UTF8) return;
  if (SetConsoleOutputCP(CP_UTF8) == 0) return;
  g_previous_output_code_page = previous;
  std::atexit(restore_output_code_page);
}

void wait_for_enter_in_own_console() noexcept {
  // A console made for this program alone: a command prompt, or any program
  // that started this one in its console, would be in the list too.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode) == 0) return;  // standard input is not the console

  // Keys pressed while the program ran do not count.
  FlushConsoleInputBuffer(input);
  std::fflush(stdout);
  std::fputs("Press Enter to close this window.\n", stderr);
  std::fflush(stderr);
  wchar_t line[64];
  for (;;) {
    DWORD count = 0;
    if (ReadConsoleW(input, line, 64, &count, nullptr) == 0 || count == 0) return;
    // A line longer than the buffer comes in pieces: up to the one with Enter.
    if (std::wmemchr(line, L'\r', count) != nullptr ||
        std::wmemchr(line, L'\n', count) != nullptr) {
      return;
    }
  }
}

}  // namespace mthc
