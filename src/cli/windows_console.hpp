// The console window of the Windows programs (this file is built for Windows
// only).
#pragma once

namespace mthc {

// Makes the console show the programs' output as UTF-8, which is what they
// print (names as they were given, in any language), until the program ends;
// the console's previous code page is then restored for whatever runs in it
// next. Nothing happens without a console.
void use_utf8_console() noexcept;

// When the program has a console window of its own, as when files are
// dropped on it in the file manager, the window would close with the program
// before anyone could read what it printed: this asks for Enter first, on
// standard error, and reads a line from the console. It does nothing when the
// program shares its console (started from a command prompt), and when
// standard input is not the console (redirected, or a test run).
void wait_for_enter_in_own_console() noexcept;

}  // namespace mthc
