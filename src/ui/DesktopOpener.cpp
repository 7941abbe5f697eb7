#include "ui/DesktopOpener.h"

#include "adapters/ViewerLauncher.h"

#include <QCoreApplication>

namespace tervane {

// QDesktopServices::openUrl says only whether xdg-open was started, not whether it found
// a viewer; xdg-open's own status says that.
bool DesktopOpener::Open(const std::filesystem::path& document, std::string& reason)
{
    return StartViewer(document, kViewerVerdictWait,
                       [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }, reason);
}

} // namespace tervane
