#pragma once

// For measuring start-up: waits for a window's first paint, prints one line on standard
// output ("first-paint <ms since the probe was made>") and ends the event loop. The
// start-up bench reads that line from the outside, so its figure covers the whole start
// of the process; the milliseconds in the line are the part spent after main() began.
// Both programs the bench measures carry it: its own bare window, and the Tervane window
// when started with --measure-startup.
//
// Header-only so that the bench's bare window can use it without the program's libraries.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>

namespace tervane {

class FirstPaintProbe : public QObject {
public:
    FirstPaintProbe() { m_sinceMain.start(); }

    void Watch(QObject* window) { window->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            watched->removeEventFilter(this);
            std::printf("first-paint %lld\n", static_cast<long long>(m_sinceMain.elapsed()));
            std::fflush(stdout);
            // Quit once the paint has been handled, not in the middle of it.
            QTimer::singleShot(0, [] { QCoreApplication::quit(); });
        }
        return false;
    }

private:
    QElapsedTimer m_sinceMain;
    bool m_seen = false;
};

} // namespace tervane
