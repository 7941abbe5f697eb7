#pragma once

#include <cstddef>
#include <string_view>

namespace tervane {

// Progress while a document is written: Start(n + 1), then Advance(0) .. Advance(n). A
// writer with a second step (packing a KMZ package) names it with NextStep and counts it
// with Start and Advance again.
//
// A writer asks Cancelled as it goes (at every step of the bar, after every chunk it
// writes, and once more before the document takes its name). Once it is true the writer
// stops, removes what it had written and reports the document cancelled; nothing is
// thrown through it.
class DocumentProgress {
public:
    virtual ~DocumentProgress() = default;
    virtual void Start(std::size_t maximum) = 0;
    virtual void Advance(std::size_t value) = 0;
    // The writer begins a step of its own, which the processing dialog shows as `info`.
    virtual void NextStep(std::string_view info) = 0;
    // Whether the writer is to stop: the run it writes for was cancelled.
    virtual bool Cancelled() const { return false; }
};

// Whether `progress` (which may be none) asks the writer to stop.
inline bool WriterCancelled(const DocumentProgress* progress)
{
    return progress && progress->Cancelled();
}

} // namespace tervane
