#include "kml/GpxWriter.h"

#include "calcs/Angles.h"
#include "kml/KmlWriter.h"
#include "text/Trim.h"

#include <cmath>

namespace tervane {

namespace {

// The GPX schema takes longitudes in [-180, 180). Values inside are written untouched,
// so they read exactly as in the KML document.
double GpxLongitude(double longitude)
{
    if (longitude >= kAntimeridian && longitude < kAntimeridian + kFullTurnDegrees)
        return longitude;
    double wrapped = std::fmod(longitude - kAntimeridian, kFullTurnDegrees);
    if (wrapped < 0)
        wrapped += kFullTurnDegrees;
    return wrapped + kAntimeridian;
}

// Escaped first and trimmed after, as the KML name is: a CR the reply left at the end
// of the line is dropped first, and the spaces before it go too.
void AppendTrimmedText(std::string& out, std::string_view text)
{
    out += TrimSpaces(EscapeKml(text));
}

void AppendAttribute(std::string& out, std::string_view name, double value)
{
    out += ' ';
    out += name;
    out += "=\"";
    AppendKmlNumber(out, value);
    out += '"';
}

} // namespace

bool WriteGpxHead(std::ostream& out, const std::optional<GpxBounds>& bounds)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gpx version=\"1.1\" creator=\"Tervane\" xmlns=\"";
    text += kGpxNamespace;
    text += "\">\r\n  <metadata>\r\n";
    if (bounds) {
        text += "    <bounds";
        AppendAttribute(text, "minlat", bounds->minLatitude);
        AppendAttribute(text, "minlon", GpxLongitude(bounds->minLongitude));
        AppendAttribute(text, "maxlat", bounds->maxLatitude);
        AppendAttribute(text, "maxlon", GpxLongitude(bounds->maxLongitude));
        text += "/>\r\n";
    }
    text += "  </metadata>\r\n";
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

void AppendWaypoint(std::string& out, std::string_view pid, std::string_view designation, double latitude,
                    double longitude, std::string_view horizontalOrder, std::string_view verticalOrder,
                    std::string_view serviceUrl)
{
    out += "  <wpt";
    AppendAttribute(out, "lat", latitude);
    AppendAttribute(out, "lon", GpxLongitude(longitude));
    out += ">\r\n    <name>";
    AppendTrimmedText(out, pid);
    out += "</name>\r\n";
    const std::string description = EscapeKml(designation);
    if (const std::string_view trimmed = TrimSpaces(description); !trimmed.empty()) {
        out += "    <desc>";
        out += trimmed;
        out += "</desc>\r\n";
    }
    out += "    <link href=\"";
    AppendEscapedKml(out, DatasheetLink(serviceUrl, pid), KmlEscape::Attribute);
    out += "\">\r\n      <text>";
    AppendTrimmedText(out, pid);
    out += " datasheet</text>\r\n    </link>\r\n";

    // Squares are the styles the vertical order chooses; everything else the horizontal.
    const bool byVertical = PlacemarkStyleId(horizontalOrder, verticalOrder).ends_with("Sqr");
    const std::string escapedCode = EscapeKml(TrimSpaces(byVertical ? verticalOrder : horizontalOrder));
    if (const std::string_view code = TrimSpaces(escapedCode); !code.empty()) {
        out += byVertical ? "    <type>Vertical order " : "    <type>Horizontal order ";
        out += code;
        out += "</type>\r\n";
    }
    out += "  </wpt>\r\n";
}

} // namespace tervane
