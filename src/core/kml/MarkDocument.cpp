#include "kml/MarkDocument.h"

#include "calcs/Angles.h"
#include "kml/KmlWriter.h"
#include "retrieval/ControlType.h"

#include <cerrno>
#include <cmath>
#include <fstream>
#include <random>
#include <system_error>

namespace tervane {

namespace {

constexpr double kCameraAltitude = 10000; // metres
constexpr double kCameraHeading = 0;
constexpr double kCameraTilt = 0;
constexpr double kFullTurnDegrees = 360;
constexpr double kAntimeridian = -180;

// Where an empty extent leaves the camera: the average of the bounds it used to start
// from (latitude 90 and 0, longitude 360 and 0 west).
constexpr double kEmptyCentreLatitude = 45;
constexpr double kEmptyCentreLongitude = -180;

constexpr std::size_t kFileBufferSize = std::size_t{1} << 20;

constexpr std::string_view kDocumentEnd = "</Document>\r\n</kml>\r\n";
constexpr std::string_view kMsgCreateFailed = "Could not create the KML file ";
constexpr std::string_view kMsgWriteFailed = "Could not write the KML file ";
constexpr std::string_view kMsgStreamRefused = "the output refused a write";

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

private:
    bool m_empty = true;
    double m_minLatitude = 0;
    double m_maxLatitude = 0;
    double m_minWest = 0;
    double m_maxWest = 0;
};

// Parses copies of the texts, so the placemark pass reads the very same texts and the
// camera and the placemarks always agree on where a mark is.
bool MarkPosition(const MarkRecord& record, double& latitude, double& westLongitude)
{
    std::string latitudeText = record.latitudeText;
    std::string longitudeText = record.longitudeText;
    double latitudeAngle = 0;
    double longitudeAngle = 0;
    std::string ignored;
    if (!ParseDmsAngle(latitudeText, latitudeAngle, ignored) ||
        !ParseDmsAngle(longitudeText, longitudeAngle, ignored))
        return false;
    latitude = RadToDeg(latitudeAngle);
    if (record.latitudeHemisphere == "S")
        latitude = -latitude;
    westLongitude = RadToDeg(longitudeAngle);
    if (record.longitudeHemisphere != "W")
        westLongitude = -westLongitude;
    westLongitude = std::fmod(westLongitude, kFullTurnDegrees);
    if (westLongitude < 0)
        westLongitude += kFullTurnDegrees;
    return true;
}

std::string Reason(int errorNumber)
{
    return errorNumber != 0 ? std::generic_category().message(errorNumber) : std::string(kMsgStreamRefused);
}

std::string PathMessage(std::string_view prefix, const std::filesystem::path& path, const std::string& reason)
{
    std::string message(prefix);
    message += path.string();
    message += ": ";
    message += reason;
    return message;
}

std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target)
{
    std::random_device device;
    std::uniform_int_distribution<unsigned long long> distribution;
    char suffix[17];
    auto value = distribution(device);
    for (int i = 15; i >= 0; --i, value >>= 4)
        suffix[i] = "0123456789abcdef"[value & 0xF];
    suffix[16] = 0;
    return target.parent_path() / ("." + target.filename().string() + "." + suffix + ".tmp");
}

// Removes the temporary file unless the document was committed, whatever way the
// function is left.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!m_committed) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
    }
    const std::filesystem::path& Path() const { return m_path; }
    void Committed() { m_committed = true; }

private:
    std::filesystem::path m_path;
    bool m_committed = false;
};

} // namespace

bool WriteMarkDocument(std::ostream& out, std::vector<MarkRecord>& records, std::string_view controlCode,
                       std::string_view serviceUrl, DocumentProgress* progress, MarkDocumentReport& report,
                       std::string& error)
{
    error.clear();
    report = MarkDocumentReport{};

    const std::size_t count = records.size();
    if (progress) {
        progress->Start(count + 1);
        progress->Advance(0);
    }
    Extent extent;
    for (std::size_t k = 0; k < count; ++k) {
        double latitude = 0;
        double westLongitude = 0;
        if (MarkPosition(records[k], latitude, westLongitude))
            extent.Add(latitude, westLongitude);
        if (progress)
            progress->Advance(k + 1);
    }
    report.centreLatitude = extent.CentreLatitude();
    report.centreLongitude = extent.CentreLongitude();

    if (!WriteKmlHead(out) || !WriteLookAt(out, report.centreLatitude, report.centreLongitude,
                                           kCameraAltitude, kCameraHeading, kCameraTilt)) {
        error = kMsgStreamRefused;
        return false;
    }

    const bool horizontalOnly = IsHorizontalOnlyCode(controlCode);
    std::string markError;
    for (auto& record : records) {
        if (horizontalOnly)
            record.verticalOrder.clear();
        auto outcome = WritePlacemark(out, record.pid, record.designation, record.latitudeHemisphere,
                                      record.latitudeText, record.longitudeHemisphere, record.longitudeText,
                                      record.horizontalOrder, record.verticalOrder, serviceUrl, markError);
        switch (outcome) {
        case PlacemarkOutcome::Written:
            ++report.placemarks;
            break;
        case PlacemarkOutcome::AngleRefused:
            if (report.skipped++ == 0)
                report.firstSkipMessage = markError;
            break;
        case PlacemarkOutcome::WriteFailed:
            error = markError;
            return false;
        }
    }

    out.write(kDocumentEnd.data(), static_cast<std::streamsize>(kDocumentEnd.size()));
    if (!out) {
        error = kMsgStreamRefused;
        return false;
    }
    return true;
}

bool WriteMarkDocument(const std::filesystem::path& kmlPath, std::vector<MarkRecord>& records,
                       std::string_view controlCode, std::string_view serviceUrl, DocumentProgress* progress,
                       MarkDocumentReport& report, std::string& error)
{
    error.clear();
    TemporaryFile temporary(TemporaryPathBeside(kmlPath));

    // A large buffer turns the many small placemark writes into few system calls; it
    // must be set before the file is opened to take effect.
    std::vector<char> buffer(kFileBufferSize);
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    errno = 0;
    out.open(temporary.Path(), std::ios::binary | std::ios::trunc);
    if (!out) {
        error = PathMessage(kMsgCreateFailed, kmlPath, Reason(errno));
        return false;
    }

    std::string inner;
    bool written = WriteMarkDocument(out, records, controlCode, serviceUrl, progress, report, inner);
    if (written)
        written = static_cast<bool>(out.flush());
    int errorNumber = errno;
    out.close();
    if (written && out.fail()) {
        written = false;
        errorNumber = errno;
    }
    if (!written) {
        error = PathMessage(kMsgWriteFailed, kmlPath, Reason(errorNumber));
        return false;
    }

    std::error_code renameError;
    std::filesystem::rename(temporary.Path(), kmlPath, renameError);
    if (renameError) {
        error = PathMessage(kMsgWriteFailed, kmlPath, renameError.message());
        return false;
    }
    temporary.Committed();
    return true;
}

std::string SkippedMarksMessage(const MarkDocumentReport& report)
{
    if (report.skipped == 0)
        return {};
    std::string message = std::to_string(report.skipped);
    message += report.skipped == 1 ? " mark was skipped because its position could not be read: "
                                   : " marks were skipped because their position could not be read. The first: ";
    message += report.firstSkipMessage;
    return message;
}

} // namespace tervane
