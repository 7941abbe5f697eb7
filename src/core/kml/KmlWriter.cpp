#include "kml/KmlWriter.h"

#include "calcs/Angles.h"
#include "kml/StyleTable.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tervane {

namespace {

constexpr int kSignificantDigits = 15;
constexpr double kAntimeridian = -180;
constexpr double kFullTurnDegrees = 360;
constexpr std::size_t kPlacemarkReserve = 512;

constexpr std::string_view kSouth = "S";
constexpr std::string_view kWest = "W";

void Line(std::string& out, int indent, std::string_view text)
{
    out.append(static_cast<std::size_t>(indent), ' ');
    out += text;
    out += kKmlLineEnd;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence starting at text[i] (a non-ASCII byte), or 0
// when it is not one: overlong forms, surrogates and values past U+10FFFF are refused.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(byte(i + k)))
            return 0;
    }
    return length;
}

// U+FFFE and U+FFFF are not XML characters.
bool IsNonCharacter(std::string_view sequence)
{
    return sequence.size() == 3 && sequence[0] == '\xEF' && sequence[1] == '\xBF' &&
           (sequence[2] == '\xBE' || sequence[2] == '\xBF');
}

std::string_view TrimSpaces(std::string_view text)
{
    auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string BuildHead()
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
            Line(head, 8, "<href>" + std::string(kIconBaseUrl) + std::string(style.iconFile) + "</href>");
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

void AppendKmlNumber(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return;
    }
    if (value == 0) { // -0 as well: a sign on zero means nothing to a viewer
        out += '0';
        return;
    }

    // Round once, in scientific form ("-d.dddddddddddddde+xx"), then lay the digits out
    // in plain notation ourselves: to_chars never consults the locale.
    std::array<char, 40> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                std::chars_format::scientific, kSignificantDigits - 1);
    std::string_view text(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    if (text.front() == '-') {
        out += '-';
        text.remove_prefix(1);
    }
    auto ePos = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);
    std::array<char, kSignificantDigits> digits{};
    std::size_t count = 0;
    for (char c : text.substr(0, ePos)) {
        if (c != '.')
            digits[count++] = c;
    }
    while (count > 1 && digits[count - 1] == '0')
        --count;
    std::string_view significant(digits.data(), count);

    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += significant;
        return;
    }
    auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (count <= integerDigits) {
        out += significant;
        out.append(integerDigits - count, '0');
    } else {
        out += significant.substr(0, integerDigits);
        out += '.';
        out += significant.substr(integerDigits);
    }
}

std::string KmlNumber(double value)
{
    std::string text;
    AppendKmlNumber(text, value);
    return text;
}

void AppendEscapedKml(std::string& out, std::string_view text, KmlEscape mode)
{
    const bool attribute = mode == KmlEscape::Attribute;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            case '\'': out += attribute ? "&apos;" : "'"; break;
            default:
                if (c >= 0x20 || c == '\t' || c == '\n')
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        auto length = Utf8SequenceLength(text, i);
        if (length == 0) {
            // Latin-1: the byte is the code point, two bytes in UTF-8.
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
            continue;
        }
        auto sequence = text.substr(i, length);
        if (!IsNonCharacter(sequence))
            out += sequence;
        i += length;
    }
}

std::string EscapeKml(std::string_view text, KmlEscape mode)
{
    std::string escaped;
    escaped.reserve(text.size());
    AppendEscapedKml(escaped, text, mode);
    return escaped;
}

bool WriteKmlHead(std::ostream& out)
{
    static const std::string head = BuildHead();
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

std::string DatasheetLink(std::string_view serviceUrl, std::string_view pid)
{
    while (!serviceUrl.empty() && serviceUrl.back() == '/')
        serviceUrl.remove_suffix(1);
    std::string link;
    if (serviceUrl.find("://") == std::string_view::npos)
        link = "http://";
    link += serviceUrl;
    link += kDatasheetPath;
    link += pid;
    return link;
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

PlacemarkOutcome WritePlacemark(std::ostream& out, std::string_view pid, std::string_view designation,
                                std::string_view latitudeHemisphere, std::string& latitudeText,
                                std::string_view longitudeHemisphere, std::string& longitudeText,
                                std::string_view horizontalOrder, std::string_view verticalOrder,
                                std::string_view serviceUrl, std::string& error)
{
    error.clear();
    double latitudeAngle = 0;
    double longitudeAngle = 0;
    std::string latitudeError;
    bool latitudeOk = ParseDmsAngle(latitudeText, latitudeAngle, latitudeError);
    bool longitudeOk = ParseDmsAngle(longitudeText, longitudeAngle, error);
    if (!longitudeOk)
        return PlacemarkOutcome::AngleRefused;
    if (!latitudeOk) {
        error = std::move(latitudeError);
        return PlacemarkOutcome::AngleRefused;
    }

    double latitude = RadToDeg(latitudeAngle);
    if (latitudeHemisphere == kSouth)
        latitude = -latitude;
    double longitude = RadToDeg(longitudeAngle);
    if (longitudeHemisphere == kWest)
        longitude = -longitude;
    if (longitude < kAntimeridian)
        longitude += kFullTurnDegrees;

    // The name is trimmed after escaping, so a CR the reply left at its end is gone first
    // and the spaces before it are trimmed too.
    std::string escapedName = EscapeKml(designation);
    std::string_view name = TrimSpaces(escapedName);

    std::string text;
    text.reserve(kPlacemarkReserve);
    Line(text, 2, "<Placemark>");
    text += "    <name>";
    text += name;
    text += "</name>";
    text += kKmlLineEnd;
    if (!name.empty()) {
        // The link sits inside CDATA as HTML; escaping it as an attribute keeps both the
        // HTML and the CDATA section intact whatever the pid holds.
        text += "    <description>      <![CDATA[";
        text += kKmlLineEnd;
        text += R"(      <a href=")";
        AppendEscapedKml(text, DatasheetLink(serviceUrl, pid), KmlEscape::Attribute);
        text += R"(">)";
        AppendEscapedKml(text, pid, KmlEscape::Attribute);
        text += "</a>]]>";
        text += kKmlLineEnd;
        Line(text, 4, "</description>");
    }
    Line(text, 4, "<altitudeMode>clampToGround</altitudeMode>");
    text += "    <styleUrl>#";
    text += PlacemarkStyleId(horizontalOrder, verticalOrder);
    text += "</styleUrl>";
    text += kKmlLineEnd;
    Line(text, 4, "<Point>");
    text += "      <coordinates>";
    AppendKmlNumber(text, longitude);
    text += ',';
    AppendKmlNumber(text, latitude);
    text += "</coordinates>";
    text += kKmlLineEnd;
    Line(text, 4, "</Point>");
    Line(text, 2, "</Placemark>");

    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) {
        error = "Could not write the placemark of mark ";
        error += pid;
        return PlacemarkOutcome::WriteFailed;
    }
    return PlacemarkOutcome::Written;
}

} // namespace tervane
