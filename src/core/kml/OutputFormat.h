#pragma once

// The kinds of file a run can write from the same marks:
//
//   | format  | file     | what it is for                                                |
//   | Kml     | .kml     | the KML document, icons named on the viewer's public host     |
//   | Kmz     | .kmz     | a zip package: the document as doc.kml and the icons it uses, |
//   |         |          | so it shows with no network (in the field, behind a firewall) |
//   | Gpx     | .gpx     | GPX 1.1 waypoints, named by PID, for handheld receivers       |
//   | GeoJson | .geojson | an RFC 7946 FeatureCollection of points, for GIS and web maps |
//   | Csv     | .csv     | RFC 4180 comma-separated values, one row per mark, for        |
//   |         |          | spreadsheets                                                  |
//
// The KML document is the default. The command line names a format by its row's name
// ("kml", "kmz", "gpx", "geojson", "csv"), and the window remembers its choice under the same
// names.

#include "kml/DocumentWriter.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tervane {

enum class OutputFormat { Kml, Kmz, Gpx, GeoJson, Csv };

// One row per format: everything the window and the tool show of it. A format is added
// by its writer and its row; the window's Output menu, --format's help and refusal, the
// file's extension and the processing dialog's words all come from here.
struct OutputFormatRow {
    OutputFormat format;
    std::string_view name;         // --format's word and the remembered choice
    std::string_view extension;    // of the file written
    std::string_view menuText;     // the window's Output menu
    std::string_view creatingInfo; // the processing dialog while the file is written
    std::string_view help;         // --format's help; '\n' starts a continuation line
    DocumentWriterFactory writer;  // writes the document
    bool packaged;                 // the document goes into a KMZ package with its icons
};

// The format's row.
const OutputFormatRow& OutputFormatOf(OutputFormat format);

// Every format, in the order the menu and the help show them; the KML document first.
std::span<const OutputFormatRow> OutputFormats();

// The names for a message: "kml, kmz, gpx, ...".
std::string OutputFormatNames();

// The window's remembered choice: section "Settings", this key, one of the names above.
inline constexpr std::string_view kFormatKey = "Format";
// Whether a KMZ package carries the datasheets: "1" or "0", in the same section.
inline constexpr std::string_view kDatasheetsKey = "Datasheets";

// The row's name: "kml", "kmz", ...
std::string_view FormatName(OutputFormat format);

// The format of the row named exactly `name`; nothing for any other text (case matters:
// "KML" is not a name).
std::optional<OutputFormat> ParseOutputFormat(std::string_view name);

// The file a query writes in `format`: the request's KML path with its last extension
// replaced, so VA_Fairfax_H-0-0.kml becomes VA_Fairfax_H-0-0.kmz. Dots inside the stem
// (a radius of 2.5 miles) stay, and an empty project identifier's ".kml" becomes ".kmz".
std::filesystem::path DocumentPathFor(const std::filesystem::path& kmlPath, OutputFormat format);

// What the processing dialog says while the file is written: "Creating .kml file...",
// ".kmz" or ".gpx" in its place for the other formats.
std::string_view CreatingInfo(OutputFormat format);

} // namespace tervane
