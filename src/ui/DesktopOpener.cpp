#include "ui/DesktopOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace tervane {

void DesktopOpener::Open(const std::filesystem::path& document)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(document.string())));
}

} // namespace tervane
