#include "ui/QtMousePointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace tervane {

namespace {

// Overrides stack; nothing in the program nests anywhere near this deep.
constexpr int kMaxOverrides = 64;

} // namespace

void QtMousePointer::ShowHourglass()
{
    if (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void QtMousePointer::ShowDefault()
{
    for (int i = 0; i < kMaxOverrides && QGuiApplication::overrideCursor() != nullptr; ++i)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace tervane
