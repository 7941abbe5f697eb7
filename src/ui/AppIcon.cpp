#include "ui/AppIcon.h"

#include <QIconEngine>
#include <QPainter>
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

// The program's icon at every size it is drawn in, decoded when first asked for: the
// window's first paint does not wait for five PNGs that an offscreen or minimal desktop
// never shows. Pixmaps rather than file names once decoded: QIcon looks for an icon
// engine plugin for every file name it is given, and that search is slow too.
class TervaneIconEngine final : public QIconEngine {
public:
    QIconEngine* clone() const override { return new TervaneIconEngine(*this); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        Decoded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Decoded().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Decoded().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return Decoded().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int size : kSizes)
            sizes.append(QSize(size, size));
        return sizes;
    }
    bool isNull() override { return false; }

private:
    static constexpr int kSizes[] = {16, 32, 48, 64, 128};

    const QIcon& Decoded()
    {
        if (m_icon.isNull()) {
            EnsureResources();
            for (int size : kSizes)
                m_icon.addPixmap(QPixmap(QStringLiteral(":/tervane/tervane-%1.png").arg(size)));
        }
        return m_icon;
    }

    QIcon m_icon;
};

} // namespace

QIcon TervaneIcon()
{
    return QIcon(new TervaneIconEngine);
}

QIcon GoEmblem()
{
    EnsureResources();
    return QIcon(QPixmap(QStringLiteral(":/tervane/cmdGo.png")));
}

} // namespace tervane
