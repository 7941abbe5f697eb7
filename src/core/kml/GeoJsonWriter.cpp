#include "kml/GeoJsonWriter.h"

#include "kml/GpxWriter.h"
#include "kml/KmlWriter.h"
#include "kml/XmlText.h"
#include "text/Trim.h"

#include <algorithm>

namespace tervane {

namespace {

// Appends `text` as a JSON string: repaired first and, when `trim`, trimmed of spaces
// after (so a CR the reply left at the end goes, and the spaces before it too).
void AppendJsonString(std::string& out, std::string_view text, bool trim = true)
{
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    const std::string repaired = EscapeKml(text, KmlEscape::None);
    std::string_view value = repaired;
    if (trim)
        value = TrimSpaces(value);
    out += '"';
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

class GeoJsonDocumentWriter final : public DocumentWriter {
public:
    explicit GeoJsonDocumentWriter(std::string_view serviceUrl) : m_serviceUrl(serviceUrl) {}

    bool Start(std::ostream& out, const DocumentExtent& extent) override
    {
        std::string text = "{\r\n  \"type\": \"FeatureCollection\",\r\n";
        if (extent.bounds) {
            const GpxBounds& bounds = *extent.bounds;
            text += "  \"bbox\": [";
            for (const double value :
                 {bounds.minLongitude, bounds.minLatitude, bounds.maxLongitude, bounds.maxLatitude}) {
                AppendKmlNumber(text, value);
                text += ", ";
            }
            text.resize(text.size() - 2);
            text += "],\r\n";
        }
        text += "  \"features\": [";
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return static_cast<bool>(out);
    }

    void Mark(std::string& out, const MarkRecord& record, double latitude, double longitude,
              std::string_view verticalOrder) override
    {
        out += m_first ? "\r\n    " : ",\r\n    ";
        m_first = false;
        out += R"({"type": "Feature", "geometry": {"type": "Point", "coordinates": [)";
        AppendKmlNumber(out, longitude);
        out += ", ";
        AppendKmlNumber(out, latitude);
        out += R"(]}, "properties": {"pid": )";
        AppendJsonString(out, record.pid);
        out += R"(, "designation": )";
        AppendJsonString(out, record.designation);
        out += R"(, "horizontal_order": )";
        AppendJsonString(out, record.horizontalOrder);
        out += R"(, "vertical_order": )";
        AppendJsonString(out, verticalOrder);
        out += R"(, "order": )";
        AppendJsonString(out, OrderText(record.horizontalOrder, verticalOrder));
        out += R"(, "datasheet": )";
        AppendJsonString(out, DatasheetLink(m_serviceUrl, record.pid), false);
        out += "}}";
    }

    void Finish(std::string& out) override { out += m_first ? "]\r\n}\r\n" : "\r\n  ]\r\n}\r\n"; }

private:
    std::string_view m_serviceUrl;
    bool m_first = true;
};

} // namespace

std::unique_ptr<DocumentWriter> MakeGeoJsonWriter(const WriterSettings& settings)
{
    return std::make_unique<GeoJsonDocumentWriter>(settings.serviceUrl);
}

} // namespace tervane
