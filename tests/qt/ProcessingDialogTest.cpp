// The processing dialog as a run drives it: what it looks like, that every change is on
// screen before the call returns, Escape, and closing it.

#include "ui/dlgProcessing.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#ifdef TERVANE_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tervane::test {
namespace {

QLabel* Label(dlgProcessing& d, const char* name) { return d.findChild<QLabel*>(QString::fromLatin1(name)); }

QProgressBar* Bar(dlgProcessing& dialog) { return dialog.findChild<QProgressBar*>(QStringLiteral("Prgb")); }

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
    int paints = 0;
};

TEST(ProcessingDialog, StartsWithItsFirstTextsOnLightYellowWithoutTitle)
{
    dlgProcessing dialog;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "");
    EXPECT_FALSE(dialog.isModal()) << "the run goes on while it is shown";
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(255, 255, 192));
    EXPECT_EQ(Label(dialog, "lblProcessing")->text().toStdString(), "Processing...");
    EXPECT_EQ(Label(dialog, "lblInfo")->text().toStdString(), "");
    for (QWidget* child : dialog.findChildren<QWidget*>()) {
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();
    }
}

// What the user would see change is on screen before the call returns; a bar value that
// does not move the bar by a pixel is not painted (one paint per mark made the window
// thirty times slower than the command-line tool on large replies).
TEST(ProcessingDialog, EveryVisibleChangeIsPaintedBeforeTheCallReturnsNoOther)
{
    dlgProcessing dialog;
    PaintCounter info(Label(dialog, "lblInfo"));
    PaintCounter bar(Bar(dialog));
    dialog.HideProcessingLabel();
    dialog.SetInfo("Creating .kml file...");
    dialog.SetBarMaximum(4);
    dialog.Show();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_GE(info.paints, 1) << "showing paints the current text at once";
    EXPECT_TRUE(Label(dialog, "lblProcessing")->isHidden());

    for (std::size_t value = 1; value < 4; ++value) {
        const int before = bar.paints;
        dialog.SetBarValue(value);
        EXPECT_EQ(Bar(dialog)->value(), static_cast<int>(value));
        EXPECT_GT(bar.paints, before) << "value " << value;
    }
    const int before = info.paints;
    dialog.SetInfo("Starting GoogleEarth...");
    EXPECT_GT(info.paints, before);
    EXPECT_EQ(Label(dialog, "lblInfo")->text().toStdString(), "Starting GoogleEarth...");

    constexpr std::size_t kMarks = 20000;
    dialog.SetBarMaximum(kMarks + 1);
    const int beforeMarks = bar.paints;
    for (std::size_t value = 0; value <= kMarks; ++value) {
        dialog.SetBarValue(value);
    }
    EXPECT_EQ(Bar(dialog)->value(), static_cast<int>(kMarks));
    EXPECT_LE(bar.paints - beforeMarks, Bar(dialog)->width() + 2) << "at most one paint per pixel of the bar";

    dialog.SetBarVisible(false);
    EXPECT_TRUE(Bar(dialog)->isHidden());
    dialog.Hide();
    EXPECT_FALSE(dialog.isVisible());
}

#ifdef TERVANE_HAVE_XCB
// The value of a window's text property on the X server, "<absent>" when it has none.
std::string WindowProperty(xcb_connection_t* connection, xcb_window_t window, const std::string& name)
{
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr);
    std::string value = "<absent>";
    if (reply && reply->type != XCB_ATOM_NONE)
        value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    std::free(reply);
    std::free(atom);
    return value;
}

// Qt names a window without a title after the application, which a window manager shows
// as the dialog's title.
TEST(ProcessingDialog, CarriesNoWindowNameOnAnXServer)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        GTEST_SKIP() << "needs an X server (the processing_dialog_on_x test gives it one)";
    dlgProcessing dialog;
    dialog.Show();
    const auto window = static_cast<xcb_window_t>(dialog.winId());
    EXPECT_EQ(WindowProperty(x11->connection(), window, "_NET_WM_NAME"), "<absent>");
    EXPECT_EQ(WindowProperty(x11->connection(), window, "WM_NAME"), "");
    dialog.Hide();
}
#endif

TEST(ProcessingDialog, EscapeHidesItKeepingWhatTheRunSetClosingPutsBackItsFirstTexts)
{
    dlgProcessing dialog;
    dialog.HideProcessingLabel();
    dialog.Show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    dialog.SetInfo("Creating .kml file...");
    dialog.SetBarMaximum(11);
    dialog.SetBarValue(7);
    dialog.SetBarVisible(false);
    dialog.Show();
    EXPECT_EQ(Label(dialog, "lblInfo")->text().toStdString(), "Creating .kml file...");
    EXPECT_EQ(Bar(dialog)->maximum(), 11);
    EXPECT_EQ(Bar(dialog)->value(), 7);

    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(Label(dialog, "lblProcessing")->isHidden());
    EXPECT_EQ(Label(dialog, "lblInfo")->text().toStdString(), "");
    EXPECT_FALSE(Bar(dialog)->isHidden());
}

TEST(ProcessingDialog, AMarkCountBeyondTheBarsRangeIsHeldAtItsTop)
{
    dlgProcessing dialog;
    dialog.SetBarMaximum(std::numeric_limits<std::size_t>::max());
    EXPECT_EQ(Bar(dialog)->maximum(), std::numeric_limits<int>::max());
    dialog.SetBarValue(std::numeric_limits<std::size_t>::max() - 1);
    EXPECT_EQ(Bar(dialog)->value(), std::numeric_limits<int>::max());
}

} // namespace
} // namespace tervane::test
