#pragma once

// The writer of the CSV file (RFC 4180), the form spreadsheets and GIS programs take: a
// header line, then one row per mark that gets a placemark in the KML document, in the
// same order:
//
//   pid,designation,latitude,longitude,horizontal_order,vertical_order,datasheet
//
// Latitude and longitude are signed decimal degrees with the KML's digits (KmlNumber);
// the other fields are as the GeoJSON file's properties of the same names (GeoJsonWriter.h):
// reply text repaired as for the XML formats, trimmed of spaces, the datasheet link as in
// the KML. A field holding a comma, a double quote, CR or LF is quoted, its quotes doubled.
// UTF-8 without a byte-order mark; lines end CR LF.
//
// A text field that a spreadsheet would take for a formula (one starting with '=', '+',
// '-' or '@', or with a tab) gets a leading apostrophe, so opening the file runs nothing
// that came from the mark-list service; the numbers are written by the program and never
// need it.

#include "kml/DocumentWriter.h"

#include <memory>

namespace tervane {

inline constexpr std::string_view kCsvHeader =
    "pid,designation,latitude,longitude,horizontal_order,vertical_order,datasheet\r\n";

std::unique_ptr<DocumentWriter> MakeCsvWriter(const WriterSettings& settings);

} // namespace tervane
