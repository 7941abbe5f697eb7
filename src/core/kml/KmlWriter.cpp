#include "kml/KmlWriter.h"

#include "calcs/Angles.h"
#include "kml/StyleTable.h"

#include <cmath>

namespace tervane {

namespace {


constexpr std::string_view kSouth = "S";
constexpr std::string_view kWest = "W";

void Line(std::string& out, int indent, std::string_view text)
{
    out.append(static_cast<std::size_t>(indent), ' ');
    out += text;
    out += kKmlLineEnd;
}

// Appends the escaped text trimmed of spaces, without a copy of its own.
void AppendTrimmedName(std::string& out, std::string_view text)
{
    const std::size_t start = out.size();
    AppendEscapedKml(out, text);
    std::size_t end = out.size();
    while (end > start && out[end - 1] == ' ')
        --end;
    out.resize(end);
    std::size_t first = start;
    while (first < end && out[first] == ' ')
        ++first;
    out.erase(start, first - start);
}

std::string BuildHead(std::string_view iconBase)
{
    std::string head;
    Line(head, 0, R"(<?xml version="1.0" encoding="UTF-8"?>)");
    Line(head, 0, std::string(R"(<kml xmlns=")") + std::string(kKmlNamespace) + R"(">)");
    Line(head, 0, "<Document>");
    for (const auto& style : kStyleTable) {
        Line(head, 2, std::string(R"(<Style id=")") + std::string(style.id) + R"(">)");
        if (style.kind == KmlStyleKind::Icon) {
            Line(head, 4, "<IconStyle>");
            Line(head, 6, "<color>" + std::string(style.colour) + "</color>");
            Line(head, 6, "<colorMode>normal</colorMode>");
            Line(head, 6, "<scale>0.75</scale>");
            Line(head, 6, "<Icon>");
            Line(head, 8, "<href>" + std::string(iconBase) + std::string(style.iconFile) + "</href>");
            Line(head, 6, "</Icon>");
            Line(head, 4, "</IconStyle>");
        } else {
            Line(head, 4, "<LineStyle>");
            Line(head, 6, "<color>" + std::string(style.colour) + "</color>");
            Line(head, 6, "<width>" + std::to_string(style.width) + "</width>");
            Line(head, 4, "</LineStyle>");
        }
        Line(head, 2, "</Style>");
    }
    return head;
}

} // namespace

bool WriteKmlHead(std::ostream& out, std::string_view iconBase)
{
    // The plain document's head is built once; a package's, once for its one document.
    static const std::string plainHead = BuildHead(kIconBaseUrl);
    const bool plain = iconBase == kIconBaseUrl;
    const std::string otherHead = plain ? std::string() : BuildHead(iconBase);
    const std::string& head = plain ? plainHead : otherHead;
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    return static_cast<bool>(out);
}

bool WriteLookAt(std::ostream& out, double latitude, double longitude, double altitude, double heading,
                 double tilt)
{
    std::string text;
    auto element = [&](std::string_view name, double value) {
        text += "    <";
        text += name;
        text += '>';
        AppendKmlNumber(text, value);
        text += "</";
        text += name;
        text += '>';
        text += kKmlLineEnd;
    };
    Line(text, 2, R"(<LookAt id="ID">)");
    element("longitude", longitude);
    element("latitude", latitude);
    element("altitude", altitude);
    element("heading", heading);
    element("tilt", tilt);
    Line(text, 2, "</LookAt>");
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

std::string_view PlacemarkStyleId(std::string_view horizontalOrder, std::string_view verticalOrder)
{
    if (horizontalOrder == "S")
        return "PnkStar";
    if (horizontalOrder == "A" || horizontalOrder == "0" || horizontalOrder == "N")
        return "PnkTri";
    if (horizontalOrder == "B")
        return "BrnTri";
    if (horizontalOrder == "1")
        return "BluTri";
    if (horizontalOrder == "2")
        return "RedTri";
    if (horizontalOrder == "3")
        return "BlkTri";
    if (verticalOrder == "1")
        return "BluSqr";
    if (verticalOrder == "2")
        return "RedSqr";
    return "BlkSqr";
}

bool PlacemarkPosition(std::string_view latitudeHemisphere, std::string_view& latitudeText,
                       std::string_view longitudeHemisphere, std::string_view& longitudeText, double& latitude,
                       double& longitude, std::string& error)
{
    latitude = 0;
    longitude = 0;
    double latitudeAngle = 0;
    double longitudeAngle = 0;
    std::string latitudeError;
    // Both are parsed, so both come back normalised; the longitude's verdict wins.
    bool latitudeOk = ParseDmsAngle(latitudeText, latitudeAngle, latitudeError);
    if (!ParseDmsAngle(longitudeText, longitudeAngle, error))
        return false;
    if (!latitudeOk) {
        error = std::move(latitudeError);
        return false;
    }

    latitude = RadToDeg(latitudeAngle);
    if (latitudeHemisphere == kSouth)
        latitude = -latitude;
    longitude = RadToDeg(longitudeAngle);
    if (longitudeHemisphere == kWest)
        longitude = -longitude;
    if (longitude < kAntimeridian)
        longitude += kFullTurnDegrees;
    return true;
}

void AppendPlacemark(std::string& out, std::string_view pid, std::string_view designation, double latitude,
                     double longitude, std::string_view horizontalOrder, std::string_view verticalOrder,
                     std::string_view serviceUrl, const DatasheetPage* datasheet)
{
    // The fixed pieces run across line ends, so each takes one append; indents are
    // part of the text.
    out += "  <Placemark>\r\n    <name>";
    // The name is trimmed after escaping, so a CR the reply left at its end is gone first
    // and the spaces before it are trimmed too.
    const std::size_t nameStart = out.size();
    AppendTrimmedName(out, designation);
    const bool named = out.size() > nameStart;
    out += "</name>\r\n";
    if (named || datasheet) {
        // The link sits inside CDATA as HTML; escaping it as an attribute keeps both the
        // HTML and the CDATA section intact whatever the pid holds. So does the page:
        // '>' escaped, no "]]>" can end the section early.
        out += "    <description>      <![CDATA[\r\n      <a href=\"";
        AppendDatasheetLink(out, serviceUrl, pid, [](std::string& to, std::string_view text) {
            AppendEscapedKml(to, text, KmlEscape::Attribute);
        });
        out += "\">";
        AppendEscapedKml(out, pid, KmlEscape::Attribute);
        out += "</a>";
        if (datasheet && datasheet->included) {
            out += "\r\n      <pre>";
            AppendEscapedKml(out, datasheet->text);
            out += "</pre>";
        } else if (datasheet) {
            out += "\r\n      <p>The datasheet is not included: ";
            AppendEscapedKml(out, datasheet->text);
            out += "</p>";
        }
        out += "]]>\r\n    </description>\r\n";
    }
    out += "    <altitudeMode>clampToGround</altitudeMode>\r\n    <styleUrl>#";
    out += PlacemarkStyleId(horizontalOrder, verticalOrder);
    out += "</styleUrl>\r\n    <Point>\r\n      <coordinates>";
    AppendKmlNumber(out, longitude);
    out += ',';
    AppendKmlNumber(out, latitude);
    out += "</coordinates>\r\n    </Point>\r\n  </Placemark>\r\n";
}

namespace {

constexpr double kCameraAltitude = 10000; // metres
constexpr double kCameraHeading = 0;
constexpr double kCameraTilt = 0;
constexpr std::string_view kDocumentEnd = "</Document>\r\n</kml>\r\n";

class KmlDocumentWriter final : public DocumentWriter {
public:
    explicit KmlDocumentWriter(const WriterSettings& settings) : m_settings(settings) {}
    bool Start(std::ostream& out, const DocumentExtent& extent) override
    {
        return WriteKmlHead(out, m_settings.iconBase) &&
               WriteLookAt(out, extent.centreLatitude, extent.centreLongitude, kCameraAltitude, kCameraHeading,
                           kCameraTilt);
    }
    void Mark(std::string& out, const MarkRecord& record, double latitude, double longitude,
              std::string_view verticalOrder) override
    {
        const DatasheetPage* datasheet = m_settings.datasheets ? m_settings.datasheets->Find(record.pid) : nullptr;
        AppendPlacemark(out, record.pid, record.designation, latitude, longitude, record.horizontalOrder,
                        verticalOrder, m_settings.serviceUrl, datasheet);
    }
    void Finish(std::string& out) override { out += kDocumentEnd; }

private:
    WriterSettings m_settings;
};

} // namespace

std::unique_ptr<DocumentWriter> MakeKmlWriter(const WriterSettings& settings)
{
    return std::make_unique<KmlDocumentWriter>(settings);
}

} // namespace tervane
