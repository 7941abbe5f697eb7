#pragma once

// A size limit as the messages name it: whole mebibytes as "256 MiB", whole kibibytes as
// "4 KiB", anything else in bytes.

#include <cstddef>
#include <string>

namespace tervane {

inline std::string SizeText(std::size_t bytes)
{
    constexpr std::size_t kKiB = 1024;
    constexpr std::size_t kMiB = kKiB * kKiB;
    if (bytes % kMiB == 0)
        return std::to_string(bytes / kMiB) + " MiB";
    if (bytes % kKiB == 0)
        return std::to_string(bytes / kKiB) + " KiB";
    return std::to_string(bytes) + " bytes";
}

} // namespace tervane
