#pragma once

// The 28 styles written into every KML document, in the order written. Placemarks refer
// to them by id; all are written whether or not a placemark uses them.

#include <array>
#include <string_view>

namespace tervane {

enum class KmlStyleKind { Icon, Line };

struct KmlStyle {
    std::string_view id;
    KmlStyleKind kind;
    std::string_view colour;   // KML colour order is aabbggrr
    std::string_view iconFile; // icon styles: file under the viewer's shapes folder
    int width;                 // line styles: pixels
};

// Icon styles: colour mode normal, scale 0.75.
inline constexpr std::array<KmlStyle, 28> kStyleTable{{
    {"BluDot", KmlStyleKind::Icon, "ffff0000", "shaded_dot.png", 0},
    {"PnkStar", KmlStyleKind::Icon, "ffcc66ff", "star.png", 0},
    {"PnkTri", KmlStyleKind::Icon, "ffcc66ff", "triangle.png", 0},
    {"BrnTri", KmlStyleKind::Icon, "ffffC080", "triangle.png", 0}, // upper-case C kept as always written
    {"RedTri", KmlStyleKind::Icon, "ff0000ff", "triangle.png", 0},
    {"BluTri", KmlStyleKind::Icon, "ffff0000", "triangle.png", 0},
    {"BlkTri", KmlStyleKind::Icon, "ff000000", "triangle.png", 0},
    {"WhtTri", KmlStyleKind::Icon, "ffffffff", "triangle.png", 0},
    {"YelTri", KmlStyleKind::Icon, "ff00ffff", "triangle.png", 0},
    {"PurTri", KmlStyleKind::Icon, "ffff3399", "triangle.png", 0},
    {"BluSqr", KmlStyleKind::Icon, "ffff0000", "square.png", 0},
    {"RedSqr", KmlStyleKind::Icon, "ff0000ff", "square.png", 0},
    {"BlkSqr", KmlStyleKind::Icon, "ff000000", "square.png", 0},
    {"WhtSqr", KmlStyleKind::Icon, "ffffffff", "square.png", 0},
    {"BluCir", KmlStyleKind::Icon, "ffff0000", "donut.png", 0},
    {"BlkCir", KmlStyleKind::Icon, "ff000000", "donut.png", 0},
    {"RedCir", KmlStyleKind::Icon, "ff0000ff", "donut.png", 0},
    {"YelCir", KmlStyleKind::Icon, "ff00ffff", "donut.png", 0},
    {"OrgCir", KmlStyleKind::Icon, "ff0099ff", "donut.png", 0},
    {"LevLin", KmlStyleKind::Line, "ffffffff", "", 1},
    {"DblLevLin", KmlStyleKind::Line, "ffffffff", "", 4},
    {"RedLin", KmlStyleKind::Line, "ff0000ff", "", 1},
    {"DblRedLin", KmlStyleKind::Line, "ff0000ff", "", 4},
    {"PurLin", KmlStyleKind::Line, "ffff3399", "", 1},
    {"YelLin", KmlStyleKind::Line, "ff00ffff", "", 1},
    {"WhtLin", KmlStyleKind::Line, "ffffffff", "", 1},
    {"BlkLin", KmlStyleKind::Line, "ff000000", "", 1},
    {"OrgLin", KmlStyleKind::Line, "ff0099ff", "", 1},
}};

inline constexpr std::string_view kIconBaseUrl = "http://maps.google.com/mapfiles/kml/shapes/";

} // namespace tervane
