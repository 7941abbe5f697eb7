#pragma once

// One writer per document format, all driven the same way by the document of a run:
// Start with the extent of the marks, Mark once per placed mark in reply order, Finish.
// A writer appends to text its caller owns and flushes in large chunks; only the head
// goes to the stream directly. The table of output formats (OutputFormat.h) names each
// format's writer.

#include "marks/MarkList.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace tervane {

// The extent of the marks in decimal degrees, north and east positive. Across the
// antimeridian the minimum longitude is the larger number (170 to -170 spans 20
// degrees), as the KML camera's extent runs.
struct GpxBounds {
    double minLatitude = 0;
    double minLongitude = 0;
    double maxLatitude = 0;
    double maxLongitude = 0;
};

// What a document's head may show of the marks: the centre a camera looks at, and the
// bounds (none when no mark has a position).
struct DocumentExtent {
    double centreLatitude = 0;
    double centreLongitude = 0;
    std::optional<GpxBounds> bounds;
};

class Datasheets;

// What every writer is given: the service for the datasheet links, where the KML
// document's icons lie (the viewer's public host, or inside a KMZ package), and the
// datasheet pages a field package carries (none: links only).
struct WriterSettings {
    std::string_view serviceUrl;
    std::string_view iconBase;
    const Datasheets* datasheets = nullptr;
};

class DocumentWriter {
public:
    virtual ~DocumentWriter() = default;
    // Writes the head for marks of this extent; returns whether the stream took it.
    virtual bool Start(std::ostream& out, const DocumentExtent& extent) = 0;
    // Appends one placed mark at its position (decimal degrees, north and east positive);
    // `verticalOrder` is blank where the control type styles by the horizontal order only.
    virtual void Mark(std::string& out, const MarkRecord& record, double latitude, double longitude,
                      std::string_view verticalOrder) = 0;
    // Appends the closing text.
    virtual void Finish(std::string& out) = 0;
};

using DocumentWriterFactory = std::unique_ptr<DocumentWriter> (*)(const WriterSettings& settings);

} // namespace tervane
