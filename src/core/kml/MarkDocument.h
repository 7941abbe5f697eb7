#pragma once

// Assembles the whole KML document of a run from its mark records: the extent of the
// marks and its centre, the head with the styles, the camera, one placemark per mark
// and the closing lines. The window's run and the command-line tool both call it.
//
// The document is written whole or not at all, through a temporary file beside it (see
// DocumentFile.h, which also publishes that file's path for a signal handler).
//
// The camera looks at the centre of the marks' extent. Only marks whose latitude and
// longitude both parse take part: latitudes signed (south negative), longitudes counted
// west-positive in [0, 360) so that marks on both sides of the antimeridian keep
// together. With no mark taking part the camera looks at latitude 45, longitude -180.
// A mark whose angles do not parse gets no placemark; the report counts it.
//
// Writing takes two steps that other document formats can share: LocateMarks reads
// every mark's position once, with the extent's centre, and ForEachLocatedMark then
// visits the marks that have a position, in reply order, with that position.

#include "io/DocumentFile.h"
#include "kml/DocumentProgress.h"
#include "kml/GpxWriter.h"
#include "kml/KmzPackage.h"
#include "kml/OutputFormat.h"
#include "marks/MarkList.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

struct MarkDocumentReport {
    std::size_t placemarks = 0;   // placemarks written
    std::size_t skipped = 0;      // marks whose angles did not parse
    std::string firstSkipMessage; // the angle parser's message for the first of them
    double centreLatitude = 0;
    double centreLongitude = 0;
};

// A mark's position as its placemark shows it, in decimal degrees: north and east
// positive, longitude in [-180, 180] (see PlacemarkPosition).
struct MarkPosition {
    double latitude = 0;
    double longitude = 0;
};

// Every mark's position, read once for all the writers of a run. Holds one bit per mark
// and two doubles per mark that has a position, so it stays small beside the reply.
class MarkLocations {
public:
    std::size_t Marks() const { return m_located.size(); }
    std::size_t Located() const { return m_positions.size(); }
    bool HasPosition(std::size_t mark) const { return m_located[mark]; }
    // The position of the `index`-th mark that has one (0 .. Located() - 1).
    const MarkPosition& Position(std::size_t index) const { return m_positions[index]; }

    std::size_t skipped = 0;      // marks whose angles did not parse
    std::string firstSkipMessage; // the angle parser's message for the first of them
    double centreLatitude = 0;    // centre of the extent, where the camera looks
    double centreLongitude = 0;
    std::optional<GpxBounds> bounds; // the extent itself; none when no mark has a position

private:
    friend class MarkLocator;
    std::vector<bool> m_located;
    std::vector<MarkPosition> m_positions;
};

// Reads the position of every mark, in order, with the centre of their extent. Progress
// as above, one step per mark; nothing when the progress cancelled the reading. The reply
// the records view stays as it is.
std::optional<MarkLocations> LocateMarks(const MarkRecords& records, DocumentProgress* progress);

// Calls visit(const MarkRecord&, const MarkPosition&) for every mark that has a position,
// in reply order. `records` must be those `locations` was read from.
template <typename Visit>
void ForEachLocatedMark(const MarkRecords& records, const MarkLocations& locations, Visit&& visit)
{
    std::size_t mark = 0;
    std::size_t located = 0;
    for (const MarkRecord& record : records) {
        if (locations.HasPosition(mark++))
            visit(record, locations.Position(located++));
    }
}

// Which file to write. A GPX file holds one waypoint per placemark the KML document
// would hold, in the same order, with the same extent as its bounds; a KMZ package holds
// the KML document with its icons.
struct DocumentOutput {
    OutputFormat format = OutputFormat::Kml;
    std::filesystem::path iconDir{};   // Kmz: the folder holding the icons
    ArchiveWriter* archiver = nullptr; // Kmz: writes the zip archive
    const Datasheets* datasheets = nullptr; // Kmz: the field package's pages; none: links only
};

enum class DocumentOutcome {
    Written,   // the document is whole
    Failed,    // `error` says why
    Cancelled, // the progress asked the writer to stop; no error
};

// Writes the document for the records of a reply in `output`'s format, the KML document
// unless told otherwise; `path` already has the format's extension. `serviceUrl` is
// "scheme://host[:port]" for the datasheet links. Failed, with `error` filled, when the
// file could not be written; Failed and Cancelled leave no file behind (an earlier
// document of that name stays as it was).
DocumentOutcome WriteMarkDocument(const std::filesystem::path& path, const MarkRecords& records,
                                  std::string_view controlCode, std::string_view serviceUrl,
                                  DocumentProgress* progress, MarkDocumentReport& report, std::string& error,
                                  const DocumentOutput& output = {});

// The same files written to a stream the caller owns (and commits). Failed, with `error`
// filled, as soon as the stream refuses a write (or an icon cannot be read); what was
// written stays, of no use, as after Cancelled.
DocumentOutcome WriteMarkDocument(std::ostream& out, const MarkRecords& records, std::string_view controlCode,
                                  std::string_view serviceUrl, DocumentProgress* progress,
                                  MarkDocumentReport& report, std::string& error,
                                  const DocumentOutput& output = {});

// Empty when no mark was skipped; otherwise the message that tells how many marks were
// skipped and why the first was.
std::string SkippedMarksMessage(const MarkDocumentReport& report);

} // namespace tervane
