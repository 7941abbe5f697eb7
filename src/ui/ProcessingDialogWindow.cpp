#include "ui/ProcessingDialogWindow.h"

#include "ui/WindowMetrics.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <climits>
#include <cstdlib>

#ifdef TERVANE_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tervane {

namespace {

constexpr int kClientWidth = 6720;
constexpr int kClientHeight = 1560;
const QColor kLightYellow(255, 255, 192);
constexpr const char* kProcessingText = "Processing...";
// How long the bar may advance before the program's events are seen again.
constexpr qint64 kEventIntervalMs = 40;

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& twips)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(FromTwips(twips));
    return label;
}

// Qt names a window whose title is empty after the application, and a window manager
// shows that name as a title; the dialog has no title text, so on X11 its names go.
void RemoveWindowName([[maybe_unused]] QWidget* window)
{
#ifdef TERVANE_HAVE_XCB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    static const xcb_atom_t netWmName = [connection] {
        constexpr char kName[] = "_NET_WM_NAME";
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
        xcb_atom_t atom = XCB_ATOM_NONE;
        if (reply) {
            atom = reply->atom;
        }
        std::free(reply);
        return atom;
    }();
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (netWmName != XCB_ATOM_NONE) {
        xcb_delete_property(connection, id, netWmName);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
#endif
}

int ClampToInt(std::size_t value)
{
    return value > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

} // namespace

ProcessingDialogWindow::ProcessingDialogWindow(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("dlgProcessing"));
    setWindowTitle(QString());
    setModal(false);
    setFont(WindowFont());
    setFixedSize(FromTwips(QSize(kClientWidth, kClientHeight)));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kLightYellow);
    setPalette(palette);
    setAutoFillBackground(true);

    m_lblProcessing = MakeLabel(this, "lblProcessing", QRect(120, 120, 6495, 375));
    m_lblInfo = MakeLabel(this, "lblInfo", QRect(120, 480, 6495, 375));
    m_prgb = new QProgressBar(this);
    m_prgb->setObjectName(QStringLiteral("Prgb"));
    m_prgb->setGeometry(FromTwips(QRect(120, 960, 6495, 375)));
    m_prgb->setTextVisible(false);
    for (QWidget* control : {static_cast<QWidget*>(m_lblProcessing), static_cast<QWidget*>(m_lblInfo),
                             static_cast<QWidget*>(m_prgb)}) {
        control->setFocusPolicy(Qt::NoFocus);
    }
    Reset();
}

void ProcessingDialogWindow::Reset()
{
    m_lblProcessing->setText(QString::fromLatin1(kProcessingText));
    m_lblProcessing->show();
    m_lblInfo->clear();
    m_prgb->setRange(0, 100);
    m_prgb->setValue(0);
    m_prgb->show();
}

void ProcessingDialogWindow::PaintNow(QWidget* changed)
{
    if (isVisible()) {
        changed->repaint();
    }
}

void ProcessingDialogWindow::SeeEvents()
{
    QCoreApplication::processEvents();
    m_sinceEvents.start();
}

void ProcessingDialogWindow::Show()
{
    RemoveWindowName(this); // before the window is mapped, so no name is ever shown
    show();
    raise();
    // The first showing needs the window system's round trip before anything is on screen.
    SeeEvents();
    repaint();
}

void ProcessingDialogWindow::Hide()
{
    hide();
    SeeEvents();
}

void ProcessingDialogWindow::HideProcessingLabel()
{
    m_lblProcessing->hide();
    PaintNow(this);
}

void ProcessingDialogWindow::SetInfo(const std::string& text)
{
    m_lblInfo->setText(QString::fromStdString(text));
    PaintNow(m_lblInfo);
}

void ProcessingDialogWindow::SetBarVisible(bool visible)
{
    m_prgb->setVisible(visible);
    PaintNow(this);
}

void ProcessingDialogWindow::SetBarMaximum(std::size_t maximum)
{
    m_prgb->setMaximum(ClampToInt(maximum));
    PaintNow(m_prgb);
}

void ProcessingDialogWindow::SetBarValue(std::size_t value)
{
    // Telling the bar of every mark cost more than writing the mark (it announces each
    // value to accessibility tools, and works out whether to paint): it hears of a value
    // that moves it by a pixel, of a smaller one and of the last one, and then paints at
    // once.
    const int shown = ClampToInt(value);
    const int current = m_prgb->value();
    if (shown < current || shown >= m_prgb->maximum() - 1 || BarPixel(shown) != BarPixel(current)) {
        m_prgb->setValue(shown);
    }
    if (isVisible() && (!m_sinceEvents.isValid() || m_sinceEvents.elapsed() >= kEventIntervalMs)) {
        SeeEvents();
    }
}

int ProcessingDialogWindow::BarPixel(int value) const
{
    const long long span = std::max(1LL, static_cast<long long>(m_prgb->maximum()) - m_prgb->minimum());
    return static_cast<int>(static_cast<long long>(value - m_prgb->minimum()) * m_prgb->width() / span);
}

void ProcessingDialogWindow::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted()) {
        Reset();
    }
}

} // namespace tervane
