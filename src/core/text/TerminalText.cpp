#include "text/TerminalText.h"

#include "text/Utf8.h"

namespace tervane {

namespace {

constexpr unsigned char kTab = 0x09;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstC1 = 0x80;
constexpr unsigned char kLastC1 = 0x9F;
// U+0080 to U+009F in UTF-8: this lead byte, then a continuation byte 80-9F.
constexpr unsigned char kC1Lead = 0xC2;

void AppendEscaped(std::string& out, unsigned char byte)
{
    constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

} // namespace

std::string EscapeForTerminal(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < kFirstPrintable || byte == kDelete) {
            const bool crBeforeLf = byte == kCarriageReturn && i + 1 < text.size() && text[i + 1] == '\n';
            if (byte == kTab || byte == kLineFeed || crBeforeLf)
                out += static_cast<char>(byte);
            else
                AppendEscaped(out, byte);
            ++i;
            continue;
        }
        if (byte < kFirstC1) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            // Not UTF-8: a terminal set for 8-bit controls would obey 80-9F.
            if (byte <= kLastC1)
                AppendEscaped(out, byte);
            else
                out += static_cast<char>(byte);
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (byte == kC1Lead && second <= kLastC1) {
            AppendEscaped(out, byte);
            AppendEscaped(out, second);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

} // namespace tervane
