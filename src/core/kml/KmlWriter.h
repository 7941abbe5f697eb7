#pragma once

// The writers of the KML document: the head with the style table, the camera view and
// one placemark per mark. Each only appends lines to a stream its caller opened and
// owns; none flushes or closes it. Every line ends CR LF; fixed text is ASCII and the
// document declares UTF-8.
//
// Text from the mark-list reply goes through EscapeKml on its way in, so a name holding
// '&' or '<', a stray control character or Latin-1 bytes still gives a well-formed UTF-8
// document. Names without such characters are written byte for byte.

#include "datasheets/Datasheets.h"
#include "kml/DocumentWriter.h"
#include "kml/StyleTable.h"
#include "kml/XmlText.h"

#include <ostream>
#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kKmlLineEnd = "\r\n";
inline constexpr std::string_view kKmlNamespace = "http://www.opengis.net/kml/2.2";

// The XML declaration, the opening kml and Document elements and the 28 styles: 247
// lines, the same in every document but for the icon links, each made of `iconBase` and
// the icon's file name ("files/" for the document inside a KMZ package). Returns whether
// the stream took them.
bool WriteKmlHead(std::ostream& out, std::string_view iconBase = kIconBaseUrl);

// The document's one LookAt element: latitude and longitude in decimal degrees (north
// and east positive), altitude in metres, heading and tilt in degrees. No normalisation
// happens here. Returns whether the stream took it.
bool WriteLookAt(std::ostream& out, double latitude, double longitude, double altitude, double heading,
                 double tilt);

// The style id a placemark takes from its order codes (exact, whole-field compares):
// horizontal S star; A, 0, N pink, B brown, 1 blue, 2 red, 3 black triangle; otherwise
// vertical 1 blue, 2 red, anything else black square.
std::string_view PlacemarkStyleId(std::string_view horizontalOrder, std::string_view verticalOrder);

// Reads a mark's position as its placemark shows it, in decimal degrees: latitude
// negative for hemisphere "S", longitude negative for "W" and then, when below -180,
// taken 360 further (exactly -180 stays). Both views come back narrowed as ParseDmsAngle
// normalises the texts. False when either fails to parse, with `error` holding the
// longitude's message if it failed, else the latitude's; both values are then 0.
bool PlacemarkPosition(std::string_view latitudeHemisphere, std::string_view& latitudeText,
                       std::string_view longitudeHemisphere, std::string_view& longitudeText, double& latitude,
                       double& longitude, std::string& error);

// Appends the Placemark lines of a mark at a known position (decimal degrees, north
// and east positive) to `out`: the name (designation escaped, trimmed of spaces), a
// description linking to the datasheet when the name is not empty, the style and the
// point. A field package's placemark also has its datasheet page after the link, as
// preformatted text escaped whole (markup in the page shows as text and runs nothing),
// or a line saying why the page is not included; it has the description even unnamed.
void AppendPlacemark(std::string& out, std::string_view pid, std::string_view designation, double latitude,
                     double longitude, std::string_view horizontalOrder, std::string_view verticalOrder,
                     std::string_view serviceUrl, const DatasheetPage* datasheet = nullptr);

// The KML document's writer: the head with its icon links under the settings' icon base,
// the camera on the extent's centre, one placemark per mark, the closing lines.
std::unique_ptr<DocumentWriter> MakeKmlWriter(const WriterSettings& settings);

} // namespace tervane
