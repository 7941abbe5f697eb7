#pragma once

// The writer of the GeoJSON file (RFC 7946), the form GIS programs and web maps take: one
// FeatureCollection holding one Point feature per mark that gets a placemark in the KML
// document, in the same order. Each feature's coordinates are [longitude, latitude] with
// the KML's digits (KmlNumber), and its properties are the mark's:
//
//   | property         | value                                                        |
//   | pid              | the PID, trimmed of spaces                                   |
//   | designation      | the mark's name as the KML shows it (trimmed; "" when blank) |
//   | horizontal_order | the order codes as they style the KML symbol, trimmed: the   |
//   | vertical_order   | vertical one is "" where the control type styles by the      |
//   |                  | horizontal order only                                        |
//   | order            | the GPX waypoint's type, "Horizontal order 2"; "" when none  |
//   | datasheet        | the link to the datasheet page, as in the KML                |
//
// The collection's bbox is [west, south, east, north] from the extent the KML camera
// looks at (left out when no mark has a position); across the antimeridian west is the
// larger number, as RFC 7946 has it. Every string is reply text repaired as for the XML
// formats (control characters but tab and LF dropped, Latin-1 bytes taken as such), then
// escaped for JSON: '"' and '\' by a backslash, tab and LF as \u0009 and \u000A. So the
// file is always valid UTF-8 JSON. One feature per line; lines end CR LF.

#include "kml/DocumentWriter.h"

#include <memory>

namespace tervane {

std::unique_ptr<DocumentWriter> MakeGeoJsonWriter(const WriterSettings& settings);

} // namespace tervane
