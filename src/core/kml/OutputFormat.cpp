#include "kml/OutputFormat.h"

#include "kml/CsvWriter.h"
#include "kml/GeoJsonWriter.h"
#include "kml/GpxWriter.h"
#include "kml/KmlWriter.h"

#include <array>
#include <string>

namespace tervane {

namespace {

constexpr std::array<OutputFormatRow, 5> kFormats{{
    {OutputFormat::Kml, "kml", ".kml", "KML document", "Creating .kml file...", "the KML document", MakeKmlWriter,
     false},
    {OutputFormat::Kmz, "kmz", ".kmz", "KMZ package (icons included)", "Creating .kmz file...",
     "a KMZ package with the icons inside, for viewing with\nno network", MakeKmlWriter, true},
    {OutputFormat::Gpx, "gpx", ".gpx", "GPX waypoints", "Creating .gpx file...",
     "GPX 1.1 waypoints named by PID, for handheld receivers", MakeGpxWriter, false},
    {OutputFormat::GeoJson, "geojson", ".geojson", "GeoJSON features", "Creating .geojson file...",
     "a GeoJSON FeatureCollection (RFC 7946) for GIS\nprograms and web maps", MakeGeoJsonWriter, false},
    {OutputFormat::Csv, "csv", ".csv", "CSV table", "Creating .csv file...",
     "comma-separated values (RFC 4180), one row per\nmark, for spreadsheets", MakeCsvWriter, false},
}};

const OutputFormatRow& Row(OutputFormat format)
{
    for (const OutputFormatRow& row : kFormats) {
        if (row.format == format)
            return row;
    }
    return kFormats[0]; // unreachable: every format has a row
}

std::string_view FormatExtension(OutputFormat format)
{
    return Row(format).extension;
}

} // namespace

std::string_view FormatName(OutputFormat format)
{
    return Row(format).name;
}

const OutputFormatRow& OutputFormatOf(OutputFormat format)
{
    return Row(format);
}

std::span<const OutputFormatRow> OutputFormats()
{
    return kFormats;
}

std::string OutputFormatNames()
{
    std::string names;
    for (const OutputFormatRow& row : kFormats) {
        if (!names.empty())
            names += ", ";
        names += row.name;
    }
    return names;
}

std::optional<OutputFormat> ParseOutputFormat(std::string_view name)
{
    for (const OutputFormatRow& row : kFormats) {
        if (row.name == name)
            return row.format;
    }
    return std::nullopt;
}

std::filesystem::path DocumentPathFor(const std::filesystem::path& kmlPath, OutputFormat format)
{
    // The text after the last dot, counted by hand: the file system library takes ".kml"
    // (an empty project identifier) for a name without an extension and would append.
    std::string name = kmlPath.filename().string();
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos)
        name.erase(dot);
    name += FormatExtension(format);
    return kmlPath.parent_path() / name;
}

std::string_view CreatingInfo(OutputFormat format)
{
    return Row(format).creatingInfo;
}

} // namespace tervane
