#pragma once

// Text on its way to a terminal. A reply or a file may hold escape sequences that a
// terminal obeys (change the title, clear the screen, write the clipboard), so text that
// came from one is shown with its control characters made visible instead:
//
//   | bytes                                  | shown as          |
//   |----------------------------------------|-------------------|
//   | tab, LF, and CR directly before LF     | themselves        |
//   | other C0 controls (ESC, BEL, lone CR)  | \x1b, \x07, \x0d  |
//   | DEL                                    | \x7f              |
//   | C1 controls written as UTF-8 (C2 80-9F)| \xc2\x9b          |
//   | a byte 80-9F outside a UTF-8 sequence  | \x9b              |
//   | everything else (UTF-8, Latin-1 bytes) | unchanged         |
//
// LF stays because some of the program's own messages span two lines ("Request
// timeout." CR LF "No response received."), and a line end moves the cursor nowhere a
// reader cannot see. A backslash is left as it is: the result is for reading, not for
// reading back.

#include <string>
#include <string_view>

namespace tervane {

std::string EscapeForTerminal(std::string_view text);

} // namespace tervane
