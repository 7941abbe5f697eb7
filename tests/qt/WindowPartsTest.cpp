// The window's parts apart from it: the processing dialog as a run drives it (every
// change on screen before the call returns, but no repaint of the bar for moves it cannot
// show; its window name on an X server), the message box every failure is shown in, and
// the fields' own keys (which characters each field takes is FieldRulesTest's, and the
// keys that type no character are MainWindowKeys').

#include "ui/FieldKeyFilter.h"
#include "ui/OutputFolder.h"
#include "ui/WindowMessageBox.h"
#include "ui/ProcessingDialogWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>

namespace tervane::test {
namespace {

// A widget of the dialog, and the paint events it has received.
template <typename T> struct Painted : QObject {
    Painted(ProcessingDialogWindow& dialog, const char* name) : widget(dialog.findChild<T*>(QString::fromLatin1(name)))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    T* widget;
    int paints = 0;
};

// One paint per mark made the window thirty times slower than the command-line tool on
// large replies; a mark count past the bar's range is held at its top.
TEST(ProcessingDialog, EveryVisibleChangeIsPaintedBeforeTheCallReturnsNoOther)
{
    ProcessingDialogWindow dialog;
    Painted<QLabel> info(dialog, "lblInfo");
    Painted<QProgressBar> bar(dialog, "Prgb");
    dialog.HideProcessingLabel();
    dialog.SetInfo("Creating .kml file...");
    dialog.SetBarMaximum(4);
    dialog.Show();
    EXPECT_GE(info.paints, 1) << "showing paints the current text at once";
    for (std::size_t value = 1; value < 4; ++value) {
        const int before = bar.paints;
        dialog.SetBarValue(value);
        EXPECT_GT(bar.paints, before) << "value " << value;
    }

    constexpr std::size_t kMarks = 20000;
    dialog.SetBarMaximum(kMarks + 1);
    const int beforeMarks = bar.paints;
    for (std::size_t value = 0; value <= kMarks; ++value)
        dialog.SetBarValue(value);
    EXPECT_EQ(bar.widget->value(), static_cast<int>(kMarks));
    EXPECT_LE(bar.paints - beforeMarks, bar.widget->width() + 2) << "at most one paint per pixel of the bar";

    dialog.SetBarMaximum(std::numeric_limits<std::size_t>::max());
    dialog.SetBarValue(std::numeric_limits<std::size_t>::max() - 1);
    EXPECT_EQ(bar.widget->value(), std::numeric_limits<int>::max());
}

// Qt names a window without a title after the application, which a window manager shows
// as the dialog's title.
TEST(ProcessingDialog, CarriesNoWindowNameOnAnXServer)
{
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X server (the processing_dialog_on_x test gives it one)";
    ProcessingDialogWindow dialog;
    dialog.Show();
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(dialog.winId()), "WM_NAME", "_NET_WM_NAME"});
    ASSERT_TRUE(xprop.waitForFinished(5000));
    EXPECT_EQ(xprop.readAllStandardOutput().toStdString(), "WM_NAME(STRING) = \n_NET_WM_NAME:  not found.\n");
    dialog.Hide();
}

// The files go to the program's folder when it can be written to, else to the per-user
// folder, made when needed. A folder that cannot be made is reported with the system's
// reason (it surfaced as the document's "No such file or directory").
TEST(OutputFolder, ThePerUserFolderIsMadeOrTheRealReasonGiven)
{
    QTemporaryDir home;
    const std::filesystem::path dir = home.path().toStdString();
    const std::filesystem::path documents = dir / "Documents";
    EXPECT_EQ(OutputFolderFor(dir, documents), dir);
    const std::filesystem::path fallback = OutputFolderFor(dir / "no-such-bin", documents);
    EXPECT_EQ(fallback, documents / "Tervane");
    std::string error;
    EXPECT_TRUE(MakeOutputFolder(fallback, error) && std::filesystem::is_directory(fallback)) << error;

    // sysfs takes no folders, even from root (a read-only file system is refused alike).
    const std::filesystem::path refused = "/sys/tervane-test/Documents/Tervane";
    errno = 0;
    ::mkdir("/sys/tervane-test", 0700);
    const std::string reason = std::strerror(errno);
    EXPECT_FALSE(MakeOutputFolder(refused, error));
    EXPECT_EQ(error, "Could not create the folder " + refused.string() + " for the documents: " + reason);
    EXPECT_EQ(error.find("No such file"), std::string::npos);
}

// A refusal page of a server may be HTML; it must be shown as the text it is.
TEST(WindowMessageBox, ShowsTheTextAsPlainTextWithTheTitle)
{
    const std::string text = "<html><h1>Unauthorized</h1></html> & more";
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->text().toStdString(), text);
        EXPECT_EQ(box->windowTitle().toStdString(), "Tervane");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        box->button(QMessageBox::Ok)->click();
    });
    WindowMessageBox().Show(text);
    EXPECT_TRUE(seen);
}

TEST(FieldKeyFilter, EnterMovesOnBackspaceAndCodeZeroPass)
{
    EXPECT_EQ(KeyAction::MoveFocus, FilterTypedCharacter(FilteredField::Radius, kKeyEnter).action);
    EXPECT_EQ(KeyAction::Pass, FilterTypedCharacter(FilteredField::Radius, kKeyBackspace).action);
    EXPECT_EQ(KeyAction::Pass, FilterTypedCharacter(FilteredField::Radius, 0).action);
}

} // namespace
} // namespace tervane::test
