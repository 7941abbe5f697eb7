#include "text/TerminalText.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// Sequences a hostile reply was seen to carry, and the neighbours that must stay as
// they are.
TEST(TerminalText, ShowsControlCharactersAndKeepsText)
{
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } rows[] = {
        {"title change", "INPUT ERROR\x1b]0;pwned\x07!", "INPUT ERROR\\x1b]0;pwned\\x07!"},
        {"screen clear", "\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},
        {"clipboard write", "\x1b]52;c;aGk=\x1b\\", "\\x1b]52;c;aGk=\\x1b\\"},
        {"tab and line ends stay", "a\tb\r\nc\nd", "a\tb\r\nc\nd"},
        {"a lone CR would overwrite the line", "safe\rEVIL", "safe\\x0dEVIL"},
        {"NUL, DEL", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
        {"C1 CSI written as UTF-8", "x\xc2\x9bK", "x\\xc2\\x9bK"},
        {"C1 CSI as a lone byte", "x\x9bK", "x\\x9bK"},
        {"UTF-8 letters stay", "Stra\xc3\x9f \xc2\xb0 \xe2\x82\xac", "Stra\xc3\x9f \xc2\xb0 \xe2\x82\xac"},
        {"Latin-1 letters stay", "\xb0\xe9", "\xb0\xe9"},
        {"a cut sequence at the end", "ab\xc2", "ab\xc2"},
        {"C1 CSI inside an overlong form", "x\xe0\x80\x9bK", "x\xe0\\x80\\x9bK"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.shown, EscapeForTerminal(row.text)) << row.name;
}

} // namespace
} // namespace tervane
