#pragma once

// Starts the desktop's viewer on a written document with xdg-open, for the window and
// tervane-cli alike, and tells whether a viewer took it.
//
// xdg-open ends with status 0 once the desktop's own opener has the document (GNOME, KDE,
// ...); on a bare X session it runs the viewer itself and is still running when the wait
// ends. Both count as started. xdg-open missing, or ending with another status (no
// program for the file's type, nothing to open with) is a failure with its reason.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace tervane {

inline constexpr std::chrono::milliseconds kViewerVerdictWait{2000};

// `whileWaiting` runs between looks at xdg-open (every 20 ms) while it has not ended; the
// window repaints there. True when a viewer was started; false with `reason` otherwise.
bool StartViewer(const std::filesystem::path& document, std::chrono::milliseconds wait,
                 const std::function<void()>& whileWaiting, std::string& reason);

} // namespace tervane
