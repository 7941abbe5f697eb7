#include "ui/AppIcon.h"

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

QIcon TervaneIcon()
{
    EnsureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/tervane/tervane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QIcon GoEmblem()
{
    EnsureResources();
    return QIcon(QStringLiteral(":/tervane/cmdGo.png"));
}

} // namespace tervane
