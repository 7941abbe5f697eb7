#pragma once

// The help page (data/Tervane.html) in a small window of its own, opened by F1 and by
// the Help menu at the page's start. Links to other pages of the help open in place;
// web links go to the desktop's browser.

#include <QWidget>

#include <filesystem>
#include <string>

class QTextBrowser;

namespace tervane {

inline constexpr const char* kHelpFileName = "Tervane.html";
inline constexpr const char* kHelpTitle = "Tervane Help";

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `page` from its start and brings the window to the front. False with `error`
    // naming the file when it cannot be read; the window stays as it was.
    bool ShowPage(const std::filesystem::path& page, std::string& error);

    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

} // namespace tervane
