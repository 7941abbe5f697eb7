#pragma once

// Window geometry is written in twips (1440 to the inch), the unit the window layouts
// were designed in; 15 twips make one logical pixel at 96 dots per inch. Every window
// uses the desktop's sans-serif font at 12 points.

#include <QFont>
#include <QRect>
#include <QSize>

namespace tervane {

inline constexpr int kTwipsPerPixel = 15;

inline constexpr int FromTwips(int twips) { return twips / kTwipsPerPixel; }

inline QRect FromTwips(const QRect& twips)
{
    return QRect(FromTwips(twips.x()), FromTwips(twips.y()), FromTwips(twips.width()),
                 FromTwips(twips.height()));
}

inline QSize FromTwips(const QSize& twips) { return QSize(FromTwips(twips.width()), FromTwips(twips.height())); }

inline constexpr int kWindowFontPoints = 12;

inline QFont WindowFont()
{
    QFont font(QStringLiteral("Sans Serif"), kWindowFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace tervane
