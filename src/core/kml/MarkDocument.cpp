#include "kml/MarkDocument.h"

#include "calcs/Angles.h"
#include "io/DocumentFile.h"
#include "kml/GpxWriter.h"
#include "kml/KmlWriter.h"
#include "kml/StyleTable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <optional>
#include <system_error>

namespace tervane {

namespace {


// Where an empty extent leaves the camera: the average of the bounds it used to start
// from (latitude 90 and 0, longitude 360 and 0 west).
constexpr double kEmptyCentreLatitude = 45;
constexpr double kEmptyCentreLongitude = -180;

constexpr std::size_t kChunkSize = std::size_t{256} << 10;

constexpr std::string_view kMsgNoArchiver = "KMZ packages cannot be written here: no zip writer";

class Extent {
public:
    void Add(double latitude, double westLongitude)
    {
        if (m_empty) {
            m_minLatitude = m_maxLatitude = latitude;
            m_minWest = m_maxWest = westLongitude;
            m_empty = false;
            return;
        }
        m_minLatitude = std::min(m_minLatitude, latitude);
        m_maxLatitude = std::max(m_maxLatitude, latitude);
        m_minWest = std::min(m_minWest, westLongitude);
        m_maxWest = std::max(m_maxWest, westLongitude);
    }

    double CentreLatitude() const
    {
        return m_empty ? kEmptyCentreLatitude : (m_maxLatitude + m_minLatitude) / 2;
    }

    double CentreLongitude() const
    {
        if (m_empty)
            return kEmptyCentreLongitude;
        double longitude = -(m_maxWest + m_minWest) / 2;
        if (longitude < kAntimeridian)
            longitude += kFullTurnDegrees;
        return longitude;
    }

    // The same extent in east-positive degrees; nothing when no mark took part.
    std::optional<GpxBounds> Bounds() const
    {
        if (m_empty)
            return std::nullopt;
        auto east = [](double west) { return -west < kAntimeridian ? kFullTurnDegrees - west : -west; };
        return GpxBounds{m_minLatitude, east(m_maxWest), m_maxLatitude, east(m_minWest)};
    }

private:
    bool m_empty = true;
    double m_minLatitude = 0;
    double m_maxLatitude = 0;
    double m_minWest = 0;
    double m_maxWest = 0;
};

// The extent counts longitudes west-positive in [0, 360): marks on both sides of the
// antimeridian then lie together, and marks all west give the same centre as ever.
double WestPositive(double eastLongitude)
{
    double west = std::fmod(-eastLongitude, kFullTurnDegrees);
    return west < 0 ? west + kFullTurnDegrees : west;
}

// Hands full chunks to the stream: one large write costs far less than many small ones.
bool Flush(std::ostream& out, std::string& chunk)
{
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.clear();
    return static_cast<bool>(out);
}

} // namespace

// Fills the locations while the marks are visited in order.
class MarkLocator {
public:
    MarkLocator(MarkLocations& locations, std::size_t marks, DocumentProgress* progress)
        : m_locations(locations), m_progress(progress)
    {
        m_locations.m_located.reserve(marks);
        // Reserved for every mark, but only the pages the located ones fill are ever
        // touched, so a reply of unreadable lines costs nothing here.
        m_locations.m_positions.reserve(marks);
        if (m_progress) {
            m_progress->Start(marks + 1);
            m_progress->Advance(0);
        }
    }

    // False when the progress asks to stop.
    bool Add(std::string_view latitudeHemisphere, std::string_view& latitudeText,
             std::string_view longitudeHemisphere, std::string_view& longitudeText)
    {
        MarkPosition position;
        const bool parsed = PlacemarkPosition(latitudeHemisphere, latitudeText, longitudeHemisphere, longitudeText,
                                              position.latitude, position.longitude, m_message);
        m_locations.m_located.push_back(parsed);
        if (parsed) {
            m_locations.m_positions.push_back(position);
            m_extent.Add(position.latitude, WestPositive(position.longitude));
        } else if (m_locations.skipped++ == 0) {
            m_locations.firstSkipMessage = m_message;
        }
        if (!m_progress)
            return true;
        m_progress->Advance(m_locations.m_located.size());
        return !m_progress->Cancelled();
    }

    void Finish()
    {
        m_locations.centreLatitude = m_extent.CentreLatitude();
        m_locations.centreLongitude = m_extent.CentreLongitude();
        m_locations.bounds = m_extent.Bounds();
    }

private:
    MarkLocations& m_locations;
    DocumentProgress* m_progress;
    Extent m_extent;
    std::string m_message;
};

namespace {

// The document in `writer`'s format: the head from the extent, the placed marks in
// chunks, the closing text. Every format has the same positions, skipping and order.
// False, without an error, when the progress asks to stop between chunks.
bool WriteDocument(std::ostream& out, const MarkRecords& records, const MarkLocations& locations,
                   bool horizontalOnly, DocumentWriter& writer, const DocumentProgress* progress,
                   MarkDocumentReport& report, std::string& error)
{
    report.skipped = locations.skipped;
    report.firstSkipMessage = locations.firstSkipMessage;
    report.centreLatitude = locations.centreLatitude;
    report.centreLongitude = locations.centreLongitude;
    if (!writer.Start(out, {locations.centreLatitude, locations.centreLongitude, locations.bounds})) {
        error = kMsgStreamRefused;
        return false;
    }

    std::string chunk;
    chunk.reserve(kChunkSize + kChunkSize / 4);
    bool refused = false;
    bool stopped = false;
    auto placemark = [&](const MarkRecord& record, const MarkPosition& position) {
        if (refused || stopped)
            return;
        const std::string_view verticalOrder = horizontalOnly ? std::string_view() : record.verticalOrder;
        writer.Mark(chunk, record, position.latitude, position.longitude, verticalOrder);
        ++report.placemarks;
        if (chunk.size() >= kChunkSize) {
            refused = !Flush(out, chunk);
            stopped = WriterCancelled(progress);
        }
    };
    ForEachLocatedMark(records, locations, placemark);
    if (stopped)
        return false;
    writer.Finish(chunk);
    if (refused || !Flush(out, chunk)) {
        error = kMsgStreamRefused;
        return false;
    }
    return true;
}

// The document of a KMZ package, written to a file of its own in `folder` whose name is
// removed at once: the open stream keeps the data, and however the run ends (a failure,
// a cancelled run, a signal) the file system takes the space back with nothing to remove.
class ScratchDocument {
public:
    explicit ScratchDocument(const std::filesystem::path& folder)
    {
        const std::filesystem::path path = TemporaryPathBeside(folder / kKmzDocumentName);
        errno = 0;
        m_stream.open(path, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
        if (m_stream) {
            const int openErrno = errno;
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
            errno = openErrno;
        }
    }
    std::fstream& Stream() { return m_stream; }

private:
    std::fstream m_stream;
};

// The file in `output`'s format from marks located already. A KMZ package is made once
// its document is whole (the zip's directory comes last and needs every entry's size):
// the document goes to a scratch file in `scratchFolder` first, then into the package.
bool WriteFormatted(std::ostream& out, const MarkRecords& records, const MarkLocations& locations,
                    bool horizontalOnly, std::string_view serviceUrl, const DocumentOutput& output,
                    const std::filesystem::path& scratchFolder, DocumentProgress* progress,
                    MarkDocumentReport& report, std::string& error)
{
    const OutputFormatRow& row = OutputFormatOf(output.format);
    if (!row.packaged) {
        const auto writer = row.writer({serviceUrl, kIconBaseUrl});
        return WriteDocument(out, records, locations, horizontalOnly, *writer, progress, report, error);
    }
    if (!output.archiver) {
        error = kMsgNoArchiver;
        return false;
    }
    ScratchDocument scratch(scratchFolder);
    std::fstream& document = scratch.Stream();
    if (!document) {
        error = kMsgStreamRefused;
        return false;
    }
    const auto writer = row.writer({serviceUrl, kKmzIconFolder, output.datasheets});
    if (!WriteDocument(document, records, locations, horizontalOnly, *writer, progress, report, error) ||
        WriterCancelled(progress))
        return false;
    const std::streamoff size = document.tellp();
    if (!document.flush() || size < 0) {
        error = kMsgStreamRefused;
        return false;
    }
    return WriteKmzPackage(out, document, static_cast<std::uint64_t>(size), output.iconDir, *output.archiver,
                           progress, error);
}

bool WriteLocatedDocument(std::ostream& out, const MarkRecords& records, std::string_view controlCode,
                          std::string_view serviceUrl, DocumentProgress* progress, MarkDocumentReport& report,
                          std::string& error, const DocumentOutput& output,
                          const std::filesystem::path& scratchFolder)
{
    error.clear();
    report = MarkDocumentReport{};
    const std::optional<MarkLocations> locations = LocateMarks(records, progress);
    return locations && WriteFormatted(out, records, *locations, IsHorizontalOnlyCode(controlCode),
                                       serviceUrl, output, scratchFolder, progress, report, error);
}

// A writer that stopped because the progress asked it to was cancelled, not failed,
// whatever it had come to: a run cancelled meanwhile wants no document.
DocumentOutcome Outcome(bool written, const DocumentProgress* progress, std::string& error)
{
    if (WriterCancelled(progress)) {
        error.clear();
        return DocumentOutcome::Cancelled;
    }
    return written ? DocumentOutcome::Written : DocumentOutcome::Failed;
}

} // namespace

std::optional<MarkLocations> LocateMarks(const MarkRecords& records, DocumentProgress* progress)
{
    MarkLocations locations;
    MarkLocator locator(locations, records.size(), progress);
    for (const MarkRecord& record : records) {
        // The reply stays as it is; the parser narrows copies of the views.
        std::string_view latitude = record.latitudeText;
        std::string_view longitude = record.longitudeText;
        if (!locator.Add(record.latitudeHemisphere, latitude, record.longitudeHemisphere, longitude))
            return std::nullopt;
    }
    locator.Finish();
    return locations;
}

DocumentOutcome WriteMarkDocument(std::ostream& out, const MarkRecords& records, std::string_view controlCode,
                                  std::string_view serviceUrl, DocumentProgress* progress,
                                  MarkDocumentReport& report, std::string& error,
                                  const DocumentOutput& output)
{
    std::error_code noTemporaryFolder;
    std::filesystem::path scratchFolder = std::filesystem::temp_directory_path(noTemporaryFolder);
    if (noTemporaryFolder)
        scratchFolder = ".";
    const bool written = WriteLocatedDocument(out, records, controlCode, serviceUrl, progress, report, error,
                                              output, scratchFolder);
    return Outcome(written, progress, error);
}

DocumentOutcome WriteMarkDocument(const std::filesystem::path& kmlPath, const MarkRecords& records,
                                  std::string_view controlCode, std::string_view serviceUrl,
                                  DocumentProgress* progress, MarkDocumentReport& report, std::string& error,
                                  const DocumentOutput& output)
{
    std::string kind;
    for (const char c : FormatName(output.format))
        kind += static_cast<char>(c - 'a' + 'A');
    const bool written = WriteFileWhole(kmlPath, kind, error, [&](std::ostream& out, std::string& inner) {
        // The package's document lies beside the package: the same disk, not a small /tmp.
        // Asked once more last: a cancelled run's document never takes its name.
        return WriteLocatedDocument(out, records, controlCode, serviceUrl, progress, report, inner, output,
                                    kmlPath.parent_path()) &&
               !WriterCancelled(progress);
    });
    return Outcome(written, progress, error);
}

std::string SkippedMarksMessage(const MarkDocumentReport& report)
{
    if (report.skipped == 0)
        return {};
    std::string message = std::to_string(report.skipped);
    message += report.skipped == 1
                   ? " mark was skipped because its position could not be read: "
                   : " marks were skipped because their position could not be read. The first: ";
    message += report.firstSkipMessage;
    return message;
}

} // namespace tervane
