// A reply, read and written out as a whole KML document, must give a document that an
// independent XML parser accepts, with one placemark per mark whose angles parse and
// finite numbers wherever a number stands. The same marks as GPX waypoints must parse
// too, with one waypoint per placemark, each at a finite latitude and a longitude in
// [-180, 180). The input is the reply text itself; its
// length picks the control type, so every seed is a plain reply.

#include "kml/MarkDocument.h"
#include "marks/MarkList.h"
#include "retrieval/ControlType.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kServiceUrl = "http://marks.example.org";

[[noreturn]] void Fail(const std::string& what, const std::string& document = {})
{
    std::fprintf(stderr, "mark document: %s\n", what.c_str());
    if (!document.empty())
        std::fwrite(document.data(), 1, document.size(), stderr);
    std::abort();
}

// The header promises Start(n + 1), then Advance(0) .. Advance(n) in turn.
class CheckedProgress : public tervane::DocumentProgress {
public:
    void Start(std::size_t maximum) override { m_maximum = maximum; }
    void Advance(std::size_t value) override
    {
        if (value != m_next++ || value >= m_maximum)
            Fail("progress out of order");
    }
    // Only a KMZ package has a second step; these documents are KML and GPX.
    void NextStep(std::string_view) override { Fail("a second step in a plain document"); }

private:
    std::size_t m_maximum = 0;
    std::size_t m_next = 0;
};

void IgnoreXmlMessage(void*, const char*, ...) {}

bool IsNumberElement(std::string_view name)
{
    return name == "longitude" || name == "latitude" || name == "altitude" || name == "heading" ||
           name == "tilt";
}

void RequireFiniteNumbers(std::string_view list, const std::string& document)
{
    std::string text(list);
    const char* at = text.c_str();
    while (true) {
        char* end = nullptr;
        double value = std::strtod(at, &end);
        if (end == at || !std::isfinite(value) || (*end != ',' && *end != '\0'))
            Fail("not a finite number: " + text, document);
        if (*end == '\0')
            break;
        at = end + 1;
    }
}

// Counts the placemarks and checks every number of the camera and the points.
std::size_t Walk(xmlNode* node, const std::string& document)
{
    std::size_t placemarks = 0;
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        std::string_view name(reinterpret_cast<const char*>(node->name));
        if (name == "Placemark")
            ++placemarks;
        if (name == "coordinates" || IsNumberElement(name)) {
            xmlChar* content = xmlNodeGetContent(node);
            std::string text(reinterpret_cast<const char*>(content));
            xmlFree(content);
            RequireFiniteNumbers(text, document);
        }
        placemarks += Walk(node->children, document);
    }
    return placemarks;
}

// Counts the waypoints and checks their coordinates.
std::size_t WalkWaypoints(xmlNode* node, const std::string& document)
{
    std::size_t waypoints = 0;
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (std::string_view(reinterpret_cast<const char*>(node->name)) == "wpt") {
            ++waypoints;
            for (const char* name : {"lat", "lon"}) {
                xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
                const std::string text = value ? reinterpret_cast<const char*>(value) : "";
                xmlFree(value);
                RequireFiniteNumbers(text, document);
                const double number = std::strtod(text.c_str(), nullptr);
                if (std::string_view(name) == "lon" && !(number >= -180 && number < 180))
                    Fail("a waypoint longitude outside [-180, 180): " + text, document);
            }
        }
        waypoints += WalkWaypoints(node->children, document);
    }
    return waypoints;
}

void CheckGpx(const tervane::MarkRecords& records, std::string_view code, std::size_t placemarks)
{
    std::ostringstream out;
    tervane::MarkDocumentReport report;
    std::string error;
    if (tervane::WriteMarkDocument(out, records, code, kServiceUrl, nullptr, report, error,
                                   tervane::DocumentOutput{tervane::OutputFormat::Gpx}) !=
        tervane::DocumentOutcome::Written)
        Fail("GPX not written: " + error);
    const std::string document = out.str();
    xmlDocPtr xml = xmlReadMemory(document.data(), static_cast<int>(document.size()), "marks.gpx", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!xml)
        Fail("GPX not well-formed", document);
    const std::size_t waypoints = WalkWaypoints(xmlDocGetRootElement(xml), document);
    xmlFreeDoc(xml);
    if (waypoints != placemarks || report.placemarks != placemarks)
        Fail("the GPX waypoints differ from the KML placemarks", document);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, IgnoreXmlMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view reply(reinterpret_cast<const char*>(data), size);
    std::string_view code = tervane::kControlTypes[size % tervane::kControlTypes.size()].requestCode;
    tervane::MarkListReply read = tervane::ReadMarkList(std::string(reply), code);
    if (read.outcome != tervane::ReplyOutcome::Marks)
        return 0;

    const std::size_t marks = read.records.size();
    std::ostringstream out;
    CheckedProgress progress;
    tervane::MarkDocumentReport report;
    std::string error;
    if (tervane::WriteMarkDocument(out, read.records, code, kServiceUrl, &progress, report, error) !=
        tervane::DocumentOutcome::Written)
        Fail("not written: " + error);
    if (report.placemarks + report.skipped != marks)
        Fail("placemarks and skipped marks do not add up to the marks");

    const std::string document = out.str();
    xmlDocPtr xml = xmlReadMemory(document.data(), static_cast<int>(document.size()), "marks.kml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!xml) {
        const xmlError* last = xmlGetLastError();
        Fail(std::string("not well-formed: ") + (last && last->message ? last->message : "?"), document);
    }
    std::size_t placemarks = Walk(xmlDocGetRootElement(xml), document);
    xmlFreeDoc(xml);
    if (placemarks != report.placemarks)
        Fail("the document's placemarks differ from the report's", document);
    CheckGpx(read.records, code, placemarks);
    return 0;
}
