#include "kml/MarkDocument.h"

#include "calcs/Angles.h"
#include "kml/GpxWriter.h"
#include "kml/KmlWriter.h"
#include "kml/StyleTable.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>

namespace tervane {

namespace {

constexpr double kCameraAltitude = 10000; // metres
constexpr double kCameraHeading = 0;
constexpr double kCameraTilt = 0;

// Where an empty extent leaves the camera: the average of the bounds it used to start
// from (latitude 90 and 0, longitude 360 and 0 west).
constexpr double kEmptyCentreLatitude = 45;
constexpr double kEmptyCentreLongitude = -180;

constexpr std::size_t kChunkSize = std::size_t{256} << 10;

constexpr std::string_view kDocumentEnd = "</Document>\r\n</kml>\r\n";
constexpr std::string_view kMsgCreateFailed = "Could not create the ";
constexpr std::string_view kMsgWriteFailed = "Could not write the ";
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

std::string Reason(int errorNumber)
{
    return errorNumber != 0 ? std::generic_category().message(errorNumber) : std::string(kMsgStreamRefused);
}

// "Could not write the GPX file <path>: <reason>".
std::string PathMessage(std::string_view prefix, OutputFormat format, const std::filesystem::path& path,
                        const std::string& reason)
{
    std::string message(prefix);
    for (char c : FormatName(format))
        message += static_cast<char>(c - 'a' + 'A');
    message += " file ";
    message += path.string();
    message += ": ";
    message += reason;
    return message;
}

// Hidden, and short whatever the document's name: a name the folder allows for the
// document must not fail for its temporary file.
std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target)
{
    std::random_device device;
    std::uniform_int_distribution<unsigned long long> distribution;
    char suffix[17];
    auto value = distribution(device);
    for (int i = 15; i >= 0; --i, value >>= 4)
        suffix[i] = "0123456789abcdef"[value & 0xF];
    suffix[16] = 0;
    std::string name = ".tervane-";
    name += suffix;
    name += ".tmp";
    return target.parent_path() / name;
}

// The published temporary path for a signal handler: the text is written before the
// pointer is set and is not touched again until the pointer is cleared.
char g_temporaryPathText[4096];
std::atomic<const char*> g_temporaryPath{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

// Removes the temporary file unless the document was committed, whatever way the
// function is left.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path))
    {
        const std::string& text = m_path.native();
        if (g_temporaryPath.load() == nullptr && text.size() < sizeof g_temporaryPathText) {
            std::copy(text.begin(), text.end(), g_temporaryPathText);
            g_temporaryPathText[text.size()] = 0;
            g_temporaryPath.store(g_temporaryPathText);
            m_published = true;
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!m_committed) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
        Unpublish();
    }
    const std::filesystem::path& Path() const { return m_path; }
    void Committed()
    {
        m_committed = true;
        Unpublish();
    }

private:
    // After the rename or the removal: a signal in between finds no file to remove.
    void Unpublish()
    {
        if (m_published) {
            g_temporaryPath.store(nullptr);
            m_published = false;
        }
    }

    std::filesystem::path m_path;
    bool m_committed = false;
    bool m_published = false;
};

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

    void Add(std::string_view latitudeHemisphere, std::string_view& latitudeText,
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
        if (m_progress)
            m_progress->Advance(m_locations.m_located.size());
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

// The KML document (the head with its icon links under `iconBase`, the camera, the
// placemarks in chunks, the closing lines) or the GPX file (the head with the bounds, the
// waypoints, the closing line): the same positions, skipping and order.
bool WriteDocument(std::ostream& out, const MarkRecords& records, const MarkLocations& locations,
                   bool horizontalOnly, std::string_view serviceUrl, bool gpx, std::string_view iconBase,
                   MarkDocumentReport& report, std::string& error)
{
    report.skipped = locations.skipped;
    report.firstSkipMessage = locations.firstSkipMessage;
    report.centreLatitude = locations.centreLatitude;
    report.centreLongitude = locations.centreLongitude;
    const bool headWritten =
        gpx ? WriteGpxHead(out, locations.bounds)
            : WriteKmlHead(out, iconBase) &&
                  WriteLookAt(out, report.centreLatitude, report.centreLongitude, kCameraAltitude,
                              kCameraHeading, kCameraTilt);
    if (!headWritten) {
        error = kMsgStreamRefused;
        return false;
    }

    std::string chunk;
    chunk.reserve(kChunkSize + kChunkSize / 4);
    bool refused = false;
    auto placemark = [&](const MarkRecord& record, const MarkPosition& position) {
        if (refused)
            return;
        const std::string_view verticalOrder = horizontalOnly ? std::string_view() : record.verticalOrder;
        if (gpx)
            AppendWaypoint(chunk, record.pid, record.designation, position.latitude, position.longitude,
                           record.horizontalOrder, verticalOrder, serviceUrl);
        else
            AppendPlacemark(chunk, record.pid, record.designation, position.latitude, position.longitude,
                            record.horizontalOrder, verticalOrder, serviceUrl);
        ++report.placemarks;
        if (chunk.size() >= kChunkSize && !Flush(out, chunk))
            refused = true;
    };
    ForEachLocatedMark(records, locations, placemark);
    chunk += gpx ? kGpxEnd : kDocumentEnd;
    if (refused || !Flush(out, chunk)) {
        error = kMsgStreamRefused;
        return false;
    }
    return true;
}

// The file in `output`'s format from marks located already. A KMZ package is made once
// its document is whole: the zip's directory comes last and needs every entry's size.
bool WriteFormatted(std::ostream& out, const MarkRecords& records, const MarkLocations& locations,
                    bool horizontalOnly, std::string_view serviceUrl, const DocumentOutput& output,
                    MarkDocumentReport& report, std::string& error)
{
    switch (output.format) {
    case OutputFormat::Kml:
        return WriteDocument(out, records, locations, horizontalOnly, serviceUrl, false, kIconBaseUrl, report,
                             error);
    case OutputFormat::Gpx:
        return WriteDocument(out, records, locations, horizontalOnly, serviceUrl, true, {}, report, error);
    case OutputFormat::Kmz: {
        if (!output.archiver) {
            error = kMsgNoArchiver;
            return false;
        }
        std::ostringstream document;
        if (!WriteDocument(document, records, locations, horizontalOnly, serviceUrl, false, kKmzIconFolder,
                           report, error))
            return false;
        return WriteKmzPackage(out, std::move(document).str(), output.iconDir, *output.archiver, error);
    }
    }
    error = kMsgStreamRefused; // not reached: every format has its case
    return false;
}

// Writes through a temporary file beside `kmlPath`, renamed over it when complete.
template <typename WriteTo>
bool WriteDocumentFile(const std::filesystem::path& kmlPath, OutputFormat format, std::string& error,
                       WriteTo writeTo)
{
    error.clear();
    TemporaryFile temporary(TemporaryPathBeside(kmlPath));

    std::ofstream out;
    errno = 0;
    out.open(temporary.Path(), std::ios::binary | std::ios::trunc);
    if (!out) {
        error = PathMessage(kMsgCreateFailed, format, kmlPath, Reason(errno));
        return false;
    }

    std::string inner;
    bool written = writeTo(out, inner);
    if (written)
        written = static_cast<bool>(out.flush());
    int errorNumber = errno;
    out.close();
    if (written && out.fail()) {
        written = false;
        errorNumber = errno;
    }
    if (!written) {
        // A reason of the document's own (an icon that cannot be read) says more than the
        // stream's state.
        error = PathMessage(kMsgWriteFailed, format, kmlPath,
                            inner.empty() || inner == kMsgStreamRefused ? Reason(errorNumber) : inner);
        return false;
    }

    std::error_code renameError;
    std::filesystem::rename(temporary.Path(), kmlPath, renameError);
    if (renameError) {
        error = PathMessage(kMsgWriteFailed, format, kmlPath, renameError.message());
        return false;
    }
    temporary.Committed();
    return true;
}

} // namespace

MarkLocations LocateMarks(const MarkRecords& records, DocumentProgress* progress)
{
    MarkLocations locations;
    MarkLocator locator(locations, records.size(), progress);
    for (const MarkRecord& record : records) {
        // The reply stays as it is; the parser narrows copies of the views.
        std::string_view latitude = record.latitudeText;
        std::string_view longitude = record.longitudeText;
        locator.Add(record.latitudeHemisphere, latitude, record.longitudeHemisphere, longitude);
    }
    locator.Finish();
    return locations;
}

bool WriteMarkDocument(std::ostream& out, const MarkRecords& records, std::string_view controlCode,
                       std::string_view serviceUrl, DocumentProgress* progress, MarkDocumentReport& report,
                       std::string& error, const DocumentOutput& output)
{
    error.clear();
    report = MarkDocumentReport{};
    const MarkLocations locations = LocateMarks(records, progress);
    return WriteFormatted(out, records, locations, IsHorizontalOnlyCode(controlCode), serviceUrl, output,
                          report, error);
}

bool WriteMarkDocument(const std::filesystem::path& kmlPath, const MarkRecords& records,
                       std::string_view controlCode, std::string_view serviceUrl, DocumentProgress* progress,
                       MarkDocumentReport& report, std::string& error, const DocumentOutput& output)
{
    return WriteDocumentFile(kmlPath, output.format, error, [&](std::ostream& out, std::string& inner) {
        return WriteMarkDocument(out, records, controlCode, serviceUrl, progress, report, inner, output);
    });
}

const char* TemporaryDocumentPath() noexcept { return g_temporaryPath.load(); }

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
