#pragma once

// Opens a written document with the desktop's viewer for its type (xdg-open: Google Earth
// Pro, Marble or whatever is registered), the window repainting while xdg-open decides.
// False, with the reason, when no viewer could be started.

#include "retrieval/RetrievalRun.h"

namespace tervane {

class DesktopOpener : public DocumentOpener {
public:
    bool Open(const std::filesystem::path& document, std::string& reason) override;
};

} // namespace tervane
