#pragma once

// Recognising UTF-8 in bytes that may be anything (a reply, a catalogue, Latin-1 text).

#include <cstddef>
#include <string_view>

namespace tervane {

constexpr bool IsUtf8Continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length (2 to 4) of the well-formed UTF-8 sequence that starts at text[at], or 0
// when the bytes there are not one: a byte below 0x80 (ASCII is not a sequence), a stray
// continuation byte, a Latin-1 letter, a cut sequence, an overlong form, a surrogate or
// a value past U+10FFFF (the table of well-formed sequences in the Unicode standard).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

} // namespace tervane
