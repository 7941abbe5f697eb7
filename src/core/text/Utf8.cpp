#include "text/Utf8.h"

namespace tervane {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    // The second byte's range; later bytes are any continuation byte.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong below
        if (lead == 0xED)
            high = 0x9F; // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong below
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF above
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsUtf8Continuation(byte(at + k)))
            return 0;
    }
    return length;
}

} // namespace tervane
