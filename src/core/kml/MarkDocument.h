#pragma once

// Assembles the whole KML document of a run from its mark records: the extent of the
// marks and its centre, the head with the styles, the camera, one placemark per mark
// and the closing lines. The window's run and the command-line tool both call it.
//
// The document is written to a temporary file beside `kmlPath` and renamed over it only
// when complete: on failure an earlier file of that name is untouched and no partial
// file remains.
//
// The camera looks at the centre of the marks' extent. Only marks whose latitude and
// longitude both parse take part: latitudes signed (south negative), longitudes counted
// west-positive in [0, 360) so that marks on both sides of the antimeridian keep
// together. With no mark taking part the camera looks at latitude 45, longitude -180.
// A mark whose angles do not parse gets no placemark; the report counts it.

#include "retrieval/MarkList.h"

#include <cstddef>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// Progress while the document is written: Start(n + 1), then Advance(0) .. Advance(n).
class DocumentProgress {
public:
    virtual ~DocumentProgress() = default;
    virtual void Start(std::size_t maximum) = 0;
    virtual void Advance(std::size_t value) = 0;
};

struct MarkDocumentReport {
    std::size_t placemarks = 0;   // placemarks written
    std::size_t skipped = 0;      // marks whose angles did not parse
    std::string firstSkipMessage; // the angle parser's message for the first of them
    double centreLatitude = 0;
    double centreLongitude = 0;
};

// Writes the document for `records` (changed in place: angle texts normalised, vertical
// order blanked for "HORIZONTAL"). `serviceUrl` is "scheme://host[:port]" for the
// datasheet links. False with `error` filled when the document could not be written.
bool WriteMarkDocument(const std::filesystem::path& kmlPath, std::vector<MarkRecord>& records,
                       std::string_view controlCode, std::string_view serviceUrl, DocumentProgress* progress,
                       MarkDocumentReport& report, std::string& error);

// The same document written to a stream the caller owns (and commits). False with
// `error` filled as soon as the stream refuses a write; what was written stays.
bool WriteMarkDocument(std::ostream& out, std::vector<MarkRecord>& records, std::string_view controlCode,
                       std::string_view serviceUrl, DocumentProgress* progress, MarkDocumentReport& report,
                       std::string& error);

// Empty when no mark was skipped; otherwise the message that tells how many marks were
// skipped and why the first was.
std::string SkippedMarksMessage(const MarkDocumentReport& report);

} // namespace tervane
