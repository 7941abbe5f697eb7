#pragma once

// Trimming a view of text at both ends. Typed fields and fixed-column files are trimmed
// of spaces only (a tab is text there); an address from the environment or a settings
// file of any blank, line ends included.

#include <string_view>

namespace tervane {

inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kBlanks = " \t\r\n";

// `text` without the characters of `set` at its start and end.
constexpr std::string_view Trim(std::string_view text, std::string_view set)
{
    const auto first = text.find_first_not_of(set);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

constexpr std::string_view TrimSpaces(std::string_view text)
{
    return Trim(text, kSpaces);
}

constexpr std::string_view TrimBlanks(std::string_view text)
{
    return Trim(text, kBlanks);
}

} // namespace tervane
