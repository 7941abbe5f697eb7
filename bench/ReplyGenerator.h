#pragma once

// A deterministic mark-list reply for benchmarks: the same text for the same count on
// every machine, laid out in the service's fixed columns, with marks spread over the
// conterminous states and names of realistic length.

#include <cstddef>
#include <string>

namespace tervane::bench {

// The largest reply the old program could read: 32,766 mark lines.
inline constexpr std::size_t kLargestOldReply = 32766;

std::string GenerateMarkListReply(std::size_t marks);

} // namespace tervane::bench
