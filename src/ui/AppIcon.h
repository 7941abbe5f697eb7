#pragma once

// The pictures built into the program: the window icon in the sizes the desktop asks
// for, and the Go button's emblem. They are compiled in, so the window looks the same
// wherever its data files are.

#include <QIcon>

namespace tervane {

QIcon TervaneIcon();
QIcon GoEmblem();

} // namespace tervane
