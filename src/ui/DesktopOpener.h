#pragma once

// Opens a written KML document with the desktop's viewer for its type (xdg-open: Google
// Earth Pro, Marble or whatever is registered). The outcome is not looked at: without a
// registered viewer nothing further happens.

#include "retrieval/RetrievalRun.h"

namespace tervane {

class DesktopOpener : public DocumentOpener {
public:
    void Open(const std::filesystem::path& document) override;
};

} // namespace tervane
