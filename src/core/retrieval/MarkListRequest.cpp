#include "retrieval/MarkListRequest.h"

#include "calcs/LeadingValue.h"
#include "retrieval/ControlType.h"
#include "retrieval/FieldRules.h"
#include "retrieval/QueryMode.h"

#include <algorithm>

namespace tervane {

namespace {

constexpr std::string_view kListPath = "/cgi-bin/get_mark_list.prl";
constexpr std::string_view kUsRegion = "US";
constexpr double kMaxRadiusMiles = 30.0;
constexpr std::string_view kKmlExtension = ".kml";

std::string TrimSpaces(std::string_view text)
{
    auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string StateCodeOf(const MarkListInputs& inputs)
{
    return StateCode(inputs.stateText);
}

// A name with '/' would reach outside the output folder, and control characters (NUL
// above all) would cut or garble it; everything else is a legal file name as typed.
bool IsUsableFileName(std::string_view name)
{
    return std::none_of(name.begin(), name.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7f;
    });
}

std::string Concat(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (auto part : parts)
        text += part;
    return text;
}

} // namespace

bool SelectState(const std::filesystem::path& catalogueFile, std::string_view stateText, CountyList& counties,
                 std::string& selectedRegion, std::string& error)
{
    if (!ListCounties(catalogueFile, StateCode(stateText), counties, error))
        return false;
    if (counties.regionDesignation)
        selectedRegion = *counties.regionDesignation;
    return true;
}

bool CheckStateAndCounty(const MarkListInputs& inputs, std::string& message)
{
    message.clear();
    // The radius and project queries neither show nor use the state and county rows.
    if (inputs.mode == kModeRadius || inputs.mode == kModeProject)
        return true;
    if (StateCodeOf(inputs).empty()) {
        message = kMsgStateRequired;
        return false;
    }
    if (inputs.selectedRegion == kUsRegion && TrimSpaces(inputs.countyText).empty()) {
        message = kMsgCountyRequired;
        return false;
    }
    return true;
}

RequestOutcome CompleteMarkListRequest(const MarkListInputs& inputs, const std::string& controlCode,
                                       RegionCatalogue& catalogue, std::string_view serviceUrl,
                                       const std::filesystem::path& outputDir, MarkListRequest& request,
                                       std::string& message, bool& resetPointer)
{
    request = MarkListRequest{};
    message.clear();
    resetPointer = false;

    MarkListRequest r;
    r.mode = inputs.mode;
    r.stateCode = StateCodeOf(inputs);
    r.countyName = TrimSpaces(inputs.countyText);
    r.controlCode = controlCode;
    r.latitudeText = TrimSpaces(inputs.latitudeText);
    r.longitudeText = TrimSpaces(inputs.longitudeText);
    r.radiusText = TrimSpaces(inputs.radiusText);
    r.projectId = TrimSpaces(inputs.projectText);

    std::string fileName;
    const bool companion = HasGpsCompanion(r.controlCode);
    if (r.mode == kModeStateCounty) {
        if (!catalogue.GetStateCo(r.stateCode, r.countyName, r.fipsCode, message))
            return RequestOutcome::Invalid;
        if (LeadingValue(r.fipsCode) == 0) {
            resetPointer = true;
            message = kMsgInvalidFips;
            return RequestOutcome::Invalid;
        }
        if (r.controlCode.empty()) {
            message = kMsgControlTypeRequired;
            return RequestOutcome::Invalid;
        }
        auto url = [&](std::string_view code) {
            return Concat(
                {serviceUrl, kListPath, "?1=COUNTY&2=", r.stateCode, "&3=", r.fipsCode, "&4=", code});
        };
        r.primaryUrl = url(r.controlCode);
        if (companion)
            r.companionUrl = url(kGpsCompanionCode);
        fileName = Concat({r.stateCode, "_", r.countyName, "_", r.controlCode, kKmlExtension});
    } else if (r.mode == kModeRadius) {
        if (r.latitudeText.empty() || r.longitudeText.empty()) {
            message = kMsgLatitudeRequired;
            return RequestOutcome::Invalid;
        }
        // Written so that NaN fails too.
        const double radius = LeadingValue(r.radiusText);
        if (!(radius > 0 && radius <= kMaxRadiusMiles)) {
            message = kMsgInvalidRadius;
            return RequestOutcome::Invalid;
        }
        if (r.controlCode.empty()) {
            message = kMsgControlTypeRequired;
            return RequestOutcome::Invalid;
        }
        auto url = [&](std::string_view code) {
            return Concat({serviceUrl, kListPath, "?1=RADIUS&2=", r.latitudeText, "&3=", r.longitudeText,
                           "&4=", r.radiusText, "&5=", code});
        };
        r.primaryUrl = url(r.controlCode);
        if (companion)
            r.companionUrl = url(kGpsCompanionCode);
        fileName = Concat({r.latitudeText, "_", r.longitudeText, "_RADIUS-", r.radiusText, "MI_",
                           r.controlCode, kKmlExtension});
    } else if (r.mode == kModeProject) {
        r.primaryUrl = Concat({serviceUrl, kListPath, "?1=PROJECT&2=", r.projectId, "&3=N&4=X-0-0"});
        fileName = Concat({r.projectId, kKmlExtension});
    } else {
        return RequestOutcome::NoMode;
    }

    if (!IsUsableFileName(fileName)) {
        message = kMsgUnusableFileName;
        return RequestOutcome::Invalid;
    }
    r.kmlPath = outputDir / fileName;
    request = std::move(r);
    return RequestOutcome::Ready;
}

} // namespace tervane
