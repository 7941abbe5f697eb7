#include "kml/GpxWriter.h"

#include "calcs/Angles.h"
#include "kml/KmlWriter.h"
#include "kml/XmlText.h"
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

// A PID as it may stand in a URI's query: every byte but RFC 3986's unreserved characters
// percent-encoded, so a PID holding "]", "%", a blank or any other reserved character still
// gives a valid link (the GPX schema takes a URI, which the KML's link need not be).
std::string PercentEncoded(std::string_view text)
{
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0xF];
        }
    }
    return encoded;
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
    AppendEscapedKml(out, DatasheetLink(serviceUrl, PercentEncoded(pid)), KmlEscape::Attribute);
    out += "\">\r\n      <text>";
    AppendTrimmedText(out, pid);
    out += " datasheet</text>\r\n    </link>\r\n";

    if (const std::string type = OrderText(horizontalOrder, verticalOrder); !type.empty()) {
        out += "    <type>";
        AppendEscapedKml(out, type);
        out += "</type>\r\n";
    }
    out += "  </wpt>\r\n";
}

std::string OrderText(std::string_view horizontalOrder, std::string_view verticalOrder)
{
    // Squares are the styles the vertical order chooses; everything else the horizontal.
    const bool byVertical = PlacemarkStyleId(horizontalOrder, verticalOrder).ends_with("Sqr");
    const std::string repaired =
        EscapeKml(TrimSpaces(byVertical ? verticalOrder : horizontalOrder), KmlEscape::None);
    const std::string_view code = TrimSpaces(repaired);
    if (code.empty())
        return {};
    return (byVertical ? "Vertical order " : "Horizontal order ") + std::string(code);
}

namespace {

class GpxDocumentWriter final : public DocumentWriter {
public:
    explicit GpxDocumentWriter(std::string_view serviceUrl) : m_serviceUrl(serviceUrl) {}
    bool Start(std::ostream& out, const DocumentExtent& extent) override { return WriteGpxHead(out, extent.bounds); }
    void Mark(std::string& out, const MarkRecord& record, double latitude, double longitude,
              std::string_view verticalOrder) override
    {
        AppendWaypoint(out, record.pid, record.designation, latitude, longitude, record.horizontalOrder,
                       verticalOrder, m_serviceUrl);
    }
    void Finish(std::string& out) override { out += kGpxEnd; }

private:
    std::string_view m_serviceUrl;
};

} // namespace

std::unique_ptr<DocumentWriter> MakeGpxWriter(const WriterSettings& settings)
{
    return std::make_unique<GpxDocumentWriter>(settings.serviceUrl);
}

} // namespace tervane
