#include "ui/HelpWindow.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tervane {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 560;

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QString::fromLatin1(kHelpTitle));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(kWidth, kHeight);
}

bool HelpWindow::ShowPage(const std::filesystem::path& page, std::string& error)
{
    error.clear();
    const QString file = QString::fromStdString(page.string());
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        error = "Cannot open the help file " + page.string() + ": it is missing or unreadable.";
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (m_browser->source() == url) {
        m_browser->reload();
    } else {
        m_browser->setSource(url);
    }
    m_browser->verticalScrollBar()->setValue(0);
    show();
    raise();
    activateWindow();
    return true;
}

} // namespace tervane
