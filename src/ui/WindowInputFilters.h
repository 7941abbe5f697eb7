#pragma once

// The main window's filters of keyboard and mouse input, installed on the whole program:
// Escape ending the program, and everything but Escape and Exit dropped while a run is
// busy. Also how a key press reads as a typed character, for the fields' key rules
// (FieldKeyFilter.h).

#include <QKeySequence>
#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QKeyEvent;
class QMenuBar;
class QMouseEvent;
class QWidget;

namespace tervane {

// The character a key press types, as the old key-press event saw it: Enter, Backspace
// and the Ctrl+letter control codes included, navigation and function keys not.
std::optional<char32_t> TypedCharacter(const QKeyEvent& event);

// Escape ends the program from anywhere in the main window, before the focused control
// sees the key. An open drop-down list takes Escape and closes, as it does everywhere.
// The menu bar is left whole by one Escape: an open menu of it closes and the bar lets
// go of the keyboard, and so does the bar with a title highlighted (F10, then the arrows
// to Help or Exit), so that the next Escape is the one that ends the program. Other
// windows (message boxes, the sign-in and processing dialogs) keep their own Escape.
// Install it on the application; it belongs to `window`.
class EscapeFilter : public QObject {
public:
    EscapeFilter(QWidget* window, QMenuBar* bar, std::function<void()> onEscape);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LeaveBar();

    QWidget* m_window;
    QMenuBar* m_bar;
    std::function<void()> m_onEscape;
};

// While a run is busy the user can do nothing else, as the run holds the program: mouse
// and key input to the main window and the processing dialog is dropped, not kept for
// later. What ends the program still gets through (Escape and Exit in the main window,
// closing it, which is no input event), and Escape in the processing dialog, which hides
// it. Modal windows the run opens (the sign-in dialog, message boxes) take input as usual.
// In force for as long as it exists.
class RunInputFilter : public QObject {
public:
    RunInputFilter(QWidget* window, QAction* exit);
    ~RunInputFilter() override;
    RunInputFilter(const RunInputFilter&) = delete;
    RunInputFilter& operator=(const RunInputFilter&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool InModalWindow(QObject* watched);
    bool DropKey(QObject* watched, QKeyEvent* event) const;
    bool OnExit(QObject* watched, const QMouseEvent* event) const;

    QWidget* m_window;
    QAction* m_exit;
    QKeySequence m_exitKey;
};

} // namespace tervane
