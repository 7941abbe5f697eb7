#include "ui/WindowInputFilters.h"

#include "ui/FieldKeyFilter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QShortcutEvent>

#include <utility>

namespace tervane {

std::optional<char32_t> TypedCharacter(const QKeyEvent& event)
{
    const int key = event.key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        return kKeyEnter;
    }
    if (key == Qt::Key_Backspace) {
        return kKeyBackspace;
    }
    if (key == Qt::Key_Escape) {
        return kKeyEscape;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        return std::nullopt;
    }
    // Delete, the arrows, Home, End and the function keys type no character, whatever
    // text the platform attaches (X11 gives Delete the text U+007F); the field acts on
    // them as usual. Only an unmapped key is judged by its text.
    if (key >= Qt::Key_Escape && key != Qt::Key_unknown) {
        return std::nullopt;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    // Ctrl+A .. Ctrl+_ type the control codes 1 .. 31 (Ctrl+@ types 0), whatever text the
    // platform attaches to the event; AltGr (Ctrl+Alt) combinations type their own text.
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && key >= Qt::Key_At &&
        key <= Qt::Key_Underscore) {
        return static_cast<char32_t>(key - Qt::Key_At);
    }
    const QString text = event.text();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    return static_cast<char32_t>(text.toUcs4().value(0));
}

EscapeFilter::EscapeFilter(QWidget* window, QMenuBar* bar, std::function<void()> onEscape)
    : QObject(window), m_window(window), m_bar(bar), m_onEscape(std::move(onEscape))
{
}

bool EscapeFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape ||
        !watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (QWidget* popup = QApplication::activePopupWidget()) {
        // Left to itself, a menu of the bar would close and hand the keyboard to the
        // bar, which took the next Escape without a visible change.
        QAction* title = m_bar->activeAction();
        if (!title || title->menu() != popup) {
            return false;
        }
        popup->close();
        LeaveBar();
        return true;
    }
    if (qobject_cast<QMenuBar*>(widget) || widget->window() != m_window) {
        return false;
    }
    if (m_bar->activeAction()) {
        LeaveBar();
        return true;
    }
    m_onEscape();
    return true;
}

void EscapeFilter::LeaveBar()
{
    if (m_bar->hasFocus()) {
        // Escape is how a bar in keyboard mode gives the focus back.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(m_bar, &escape);
    }
    m_bar->setActiveAction(nullptr);
}

RunInputFilter::RunInputFilter(QWidget* window, QAction* exit)
    : m_window(window), m_exit(exit), m_exitKey(QKeySequence::mnemonic(exit->text()))
{
    qApp->installEventFilter(this);
}

RunInputFilter::~RunInputFilter() { qApp->removeEventFilter(this); }

bool RunInputFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return DropKey(watched, static_cast<QKeyEvent*>(event));
    case QEvent::Shortcut:
        return static_cast<QShortcutEvent*>(event)->key() != m_exitKey && !InModalWindow(watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return watched->isWidgetType() && !InModalWindow(watched) &&
               !OnExit(watched, static_cast<QMouseEvent*>(event));
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TouchBegin:
        return watched->isWidgetType() && !InModalWindow(watched);
    default:
        return false;
    }
}

bool RunInputFilter::InModalWindow(QObject* watched)
{
    return watched->isWidgetType() && static_cast<QWidget*>(watched)->window()->isModal();
}

bool RunInputFilter::DropKey(QObject* watched, QKeyEvent* event) const
{
    if (!watched->isWidgetType() || InModalWindow(watched)) {
        return false;
    }
    const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    const bool exit = static_cast<QWidget*>(watched)->window() == m_window &&
                      QKeySequence(event->keyCombination()) == m_exitKey;
    if (escape || exit) {
        return false;
    }
    // Accepting the override keeps the window's shortcuts (F1) from firing.
    event->accept();
    return true;
}

bool RunInputFilter::OnExit(QObject* watched, const QMouseEvent* event) const
{
    auto* bar = qobject_cast<QMenuBar*>(watched);
    return bar && bar->window() == m_window && bar->actionAt(event->position().toPoint()) == m_exit;
}

} // namespace tervane
