#pragma once

#include <cstddef>
#include <string_view>

namespace tervane {

// Progress while a document is written: Start(n + 1), then Advance(0) .. Advance(n). A
// writer with a second step (packing a KMZ package) names it with NextStep and counts it
// with Start and Advance again. Advance may throw to stop the writer (a cancelled run);
// the writer then removes what it had written and lets the exception pass.
class DocumentProgress {
public:
    virtual ~DocumentProgress() = default;
    virtual void Start(std::size_t maximum) = 0;
    virtual void Advance(std::size_t value) = 0;
    // The writer begins a step of its own, which the processing dialog shows as `info`.
    virtual void NextStep(std::string_view info) = 0;
};

} // namespace tervane
