#pragma once

// The writers of the GPX 1.1 file, the form handheld receivers take: one waypoint per
// mark that gets a placemark in the KML document, in the same order. A receiver shows a
// waypoint's name, so the name is the mark's PID; the designation is its description,
// the datasheet page its link, and its type tells the order that chose the KML symbol.
// Each writer only appends to a stream or string its caller owns.
//
// Text from the reply goes through EscapeKml as in the KML document (markup escaped,
// control characters dropped, Latin-1 bytes taken as such), so the file is always
// well-formed UTF-8. Numbers follow KmlNumber, and lines end CR LF as in the KML.

#include "kml/DocumentWriter.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kGpxNamespace = "http://www.topografix.com/GPX/1/1";
inline constexpr std::string_view kGpxEnd = "</gpx>\r\n";

// The XML declaration, the opening gpx element and the metadata, with the bounds when
// there are any (no mark position read: no bounds). Returns whether the stream took it.
bool WriteGpxHead(std::ostream& out, const std::optional<GpxBounds>& bounds);

// Appends the wpt element of a mark at a known position (decimal degrees, north and east
// positive; a longitude outside [-180, 180) is written as the same meridian inside it):
// name the PID, desc the designation trimmed of spaces (left out when empty), link the
// datasheet page (the PID percent-encoded, so the link is a valid URI), and type "Horizontal order X" or "Vertical order X" for the code that
// chooses the mark's KML symbol (left out when neither code says anything).
void AppendWaypoint(std::string& out, std::string_view pid, std::string_view designation, double latitude,
                    double longitude, std::string_view horizontalOrder, std::string_view verticalOrder,
                    std::string_view serviceUrl);

// The order that chose a mark's KML symbol, as the waypoint's type tells it: "Horizontal
// order 2", "Vertical order 1"; empty when neither code says anything. The code is trimmed
// of spaces and repaired as reply text is (EscapeKml with KmlEscape::None), not escaped.
std::string OrderText(std::string_view horizontalOrder, std::string_view verticalOrder);

// The GPX file's writer: the head with the bounds, one waypoint per mark, the closing line.
std::unique_ptr<DocumentWriter> MakeGpxWriter(const WriterSettings& settings);

} // namespace tervane
