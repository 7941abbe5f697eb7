#pragma once

// Names of files made from text that came from outside: what the user typed for a query,
// or a PID the service sent.

#include <algorithm>
#include <string_view>

namespace tervane {

// A name with '/' would reach outside its folder, and control characters (NUL above all)
// would cut or garble it; everything else is a legal file name as it stands. Such a name
// is refused rather than rewritten.
inline bool IsUsableFileName(std::string_view name)
{
    return std::none_of(name.begin(), name.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7f;
    });
}

} // namespace tervane
