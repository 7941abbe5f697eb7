#include "ui/AppIcon.h"

#include <QPixmap>
#include <QString>

// A static library's resources are registered by hand, from outside any namespace.
static void InitTervaneResources()
{
    Q_INIT_RESOURCE(tervane);
}

namespace tervane {

namespace {

void EnsureResources()
{
    static const bool registered = (InitTervaneResources(), true);
    (void)registered;
}

} // namespace

// From pixmaps rather than file names: QIcon looks for an icon engine plugin for every
// file name it is given, and that search is a good part of the window's start-up.
QIcon TervaneIcon()
{
    EnsureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap(QStringLiteral(":/tervane/tervane-%1.png").arg(size)));
    }
    return icon;
}

QIcon GoEmblem()
{
    EnsureResources();
    return QIcon(QPixmap(QStringLiteral(":/tervane/cmdGo.png")));
}

} // namespace tervane
