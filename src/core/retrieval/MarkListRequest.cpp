#include "retrieval/MarkListRequest.h"

#include "calcs/LeadingValue.h"
#include "retrieval/ControlType.h"
#include "retrieval/FieldRules.h"
#include "retrieval/QueryMode.h"
#include "text/FileName.h"
#include "text/Trim.h"

namespace tervane {

namespace {

constexpr std::string_view kListPath = "/cgi-bin/get_mark_list.prl";
constexpr std::string_view kUsRegion = "US";
constexpr double kMaxRadiusMiles = 30.0;
constexpr std::string_view kKmlExtension = ".kml";

std::string StateCodeOf(const MarkListInputs& inputs)
{
    return StateCode(inputs.stateText);
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

namespace {

bool CheckStateAndCounty(const MarkListInputs& inputs, std::string& message)
{
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

// The last check of the typed queries, then their URLs: `query` ends where the control
// code goes; the horizontal types add their GPS companion.
bool ComposeTypedUrls(ModeRequest& m, const std::string& query)
{
    MarkListRequest& r = m.request;
    if (r.controlCode.empty()) {
        m.message = kMsgControlTypeRequired;
        return false;
    }
    r.primaryUrl = query + r.controlCode;
    if (HasGpsCompanion(r.controlCode))
        r.companionUrl = Concat({query, kGpsCompanionCode});
    return true;
}

// The county query: the FIPS code of the state and county, then the type.
bool BuildCountyRequest(ModeRequest& m)
{
    MarkListRequest& r = m.request;
    if (!m.catalogue.GetStateCo(r.stateCode, r.countyName, r.fipsCode, m.message))
        return false;
    if (LeadingValue(r.fipsCode) == 0) {
        m.resetPointer = true;
        m.message = kMsgInvalidFips;
        return false;
    }
    if (!ComposeTypedUrls(m, Concat({m.serviceUrl, kListPath, "?1=COUNTY&2=", r.stateCode, "&3=", r.fipsCode,
                                     "&4="})))
        return false;
    m.fileName = Concat({r.stateCode, "_", r.countyName, "_", r.controlCode, kKmlExtension});
    return true;
}

// The radius query: a position, a radius of at most 30 miles, then the type.
bool BuildRadiusRequest(ModeRequest& m)
{
    MarkListRequest& r = m.request;
    if (r.latitudeText.empty() || r.longitudeText.empty()) {
        m.message = kMsgLatitudeRequired;
        return false;
    }
    // Written so that NaN fails too.
    const double radius = LeadingValue(r.radiusText);
    if (!(radius > 0 && radius <= kMaxRadiusMiles)) {
        m.message = kMsgInvalidRadius;
        return false;
    }
    if (!ComposeTypedUrls(m, Concat({m.serviceUrl, kListPath, "?1=RADIUS&2=", r.latitudeText, "&3=",
                                     r.longitudeText, "&4=", r.radiusText, "&5="})))
        return false;
    m.fileName = Concat({r.latitudeText, "_", r.longitudeText, "_RADIUS-", r.radiusText, "MI_", r.controlCode,
                         kKmlExtension});
    return true;
}

// The project query checks nothing and needs no type.
bool BuildProjectRequest(ModeRequest& m)
{
    MarkListRequest& r = m.request;
    r.primaryUrl = Concat({m.serviceUrl, kListPath, "?1=PROJECT&2=", r.projectId, "&3=N&4=X-0-0"});
    m.fileName = Concat({r.projectId, kKmlExtension});
    return true;
}

using enum QueryField;

constexpr QueryMode kQueryModes[] = {
    {kModeStateCounty, "GetMonStateCo", "By State and County", {State, County, ControlType}, BuildCountyRequest},
    {kModeRadius, "mnuLatLonRad", "By Lat Lon Radius", {Latitude, Longitude, Radius, ControlType},
     BuildRadiusRequest},
    {kModeProject, "mnuByProj", "By Project ID", {Project}, BuildProjectRequest},
};

} // namespace

std::span<const QueryMode> QueryModes() { return kQueryModes; }

const QueryMode* FindQueryMode(std::string_view code)
{
    for (const QueryMode& mode : kQueryModes) {
        if (mode.code == code)
            return &mode;
    }
    return nullptr;
}

BuiltRequest BuildMarkListRequest(const MarkListInputs& inputs, std::string& controlCode,
                                  RegionCatalogue& catalogue, std::string_view serviceUrl,
                                  const std::filesystem::path& outputDir, QueryInputs& queryInputs)
{
    BuiltRequest built;
    const QueryMode* mode = FindQueryMode(inputs.mode);
    if ((!mode || mode->fields.Has(QueryField::State)) && !CheckStateAndCounty(inputs, built.message))
        return built;
    LookupControlCode(controlCode, inputs.controlTypeText);
    queryInputs.HideQueryInputs();
    if (!mode) {
        built.outcome = RequestOutcome::NoMode;
        return built;
    }

    MarkListRequest r;
    r.mode = inputs.mode;
    r.stateCode = StateCodeOf(inputs);
    r.countyName = std::string(TrimSpaces(inputs.countyText));
    r.controlCode = controlCode;
    r.latitudeText = std::string(TrimSpaces(inputs.latitudeText));
    r.longitudeText = std::string(TrimSpaces(inputs.longitudeText));
    r.radiusText = std::string(TrimSpaces(inputs.radiusText));
    r.projectId = std::string(TrimSpaces(inputs.projectText));
    ModeRequest m{r, catalogue, serviceUrl, {}, {}, false};
    if (!mode->build(m)) {
        built.message = std::move(m.message);
        built.resetPointer = m.resetPointer;
        return built;
    }
    if (!IsUsableFileName(m.fileName)) {
        built.message = kMsgUnusableFileName;
        return built;
    }
    r.kmlPath = outputDir / m.fileName;
    built.request = std::move(r);
    built.outcome = RequestOutcome::Ready;
    return built;
}

} // namespace tervane
