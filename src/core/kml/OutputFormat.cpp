#include "kml/OutputFormat.h"

#include <array>
#include <string>

namespace tervane {

namespace {

struct FormatRow {
    OutputFormat format;
    std::string_view name;
    std::string_view extension;
    std::string_view creatingInfo;
};

constexpr std::array<FormatRow, 3> kFormats{{
    {OutputFormat::Kml, "kml", ".kml", "Creating .kml file..."},
    {OutputFormat::Kmz, "kmz", ".kmz", "Creating .kmz file..."},
    {OutputFormat::Gpx, "gpx", ".gpx", "Creating .gpx file..."},
}};

const FormatRow& Row(OutputFormat format)
{
    for (const FormatRow& row : kFormats) {
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

std::optional<OutputFormat> ParseOutputFormat(std::string_view name)
{
    for (const FormatRow& row : kFormats) {
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
