#include "retrieval/RetrievalRun.h"

#include "ReplyLines.h"
#include "RunFakes.h"

#include "retrieval/ServiceAddress.h"
#include "web/FetchMarkList.h"

#include <gtest/gtest.h>

#include <tuple>



namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::MarkLine;
using testing::RunFakes;

const std::string kPrimary = "http://marks.test/cgi-bin/get_mark_list.prl?1=COUNTY&2=VA&3=059&4=H-0-0";
const std::string kCompanion = "http://marks.test/cgi-bin/get_mark_list.prl?1=COUNTY&2=VA&3=059&4=H-G-0";
const std::string kSmith = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\n";
const std::string kGps = MarkLine("GP0001", "N385400", "W0770300", "GPS ONE") + "\n";
// The horizontal marks of Fairfax County; the fields in order: mode, state, county, type,
// latitude, longitude, radius, project, region.
const MarkListInputs kCounty{"SC", "VA", "Fairfax ", "HORIZONTAL", "", "", "", "", "US"};

// Packs nothing: moves the bar once and stops there when the run is cancelled.
struct PackingNothing : ArchiveWriter {
    bool WriteArchive(const std::vector<ArchiveEntry>&, std::ostream& out, DocumentProgress* progress,
                      std::string&) override
    {
        progress->Start(2);
        progress->Advance(1);
        return !progress->Cancelled() && out << "zip";
    }
};

// The window's end-to-end runs (tests/qt/GoRunTest.cpp) follow a whole run; here, what
// their sample service does not stage. The mark list and its companion go side by side, and
// each pair of answers ends as it did when they went one after the other: the document
// holds the primary's marks then the companion's (the primary's last line, without its line
// feed, must not swallow the companion's first), and the state and county are remembered as
// typed; a mark whose position cannot be read is told of once, after the viewer started; the
// companion's message replaces the primary's; a sign-in that either or both ask for is asked
// once, and each refused request is repeated once with its answer. Each failure shows its
// one message (ending in a space: the start of it), leaves neither the dialog nor the
// hourglass up, and writes, remembers and opens nothing. No mode, and ending the program
// while the document is written (or packed), end without a message.
TEST(RetrievalRun, EachPairOfAnswersEndsInTheDocumentOrOneMessageOrQuietly)
{
    using Change = void (*)(MarkListInputs&, RunConfig&);
    const Change same = [](MarkListInputs&, RunConfig&) {};
    const Change kmz = [](MarkListInputs&, RunConfig& to) { to.format = OutputFormat::Kmz; };
    // A field package, its pages refused: no page is had, nothing is kept.
    const Change pages = [](MarkListInputs&, RunConfig& to) { to.format = OutputFormat::Kmz; to.datasheets = true; };
    const std::string page = "http://marks.test/cgi-bin/ds_mark.prl?PidBox=";
    const SignInAnswer confirmed{true, "surveyor", "s3cret"};
    const TransferReply smith{200, "", kSmith};
    const TransferReply gps{200, "", kGps};
    const TransferReply smiths{200, "", kSmith + kSmith};
    const TransferReply unread{200, "",
                               MarkLine("AB1235", "N386023", "W0770213", "BAD MINUTES") + "\n" +
                                   kSmith.substr(0, kSmith.size() - 1)};
    const TransferReply refusal{401, "Unauthorized", ""};
    const TransferReply down{0, "", "primary down"};
    const TransferReply gone{0, "", "companion down"};
    const std::string failed(kMsgAccessFailed);
    const std::string p = kPrimary + " as ";
    const std::string c = kCompanion + " as ";
    const std::vector<std::string> both{p + "nobody", c + "nobody"};
    const struct {
        const char* name;
        Change change;
        std::deque<TransferReply> primary, companion;
        std::optional<SignInAnswer> signIn;
        RunOutcome outcome;
        std::string message;
        std::vector<std::string> requested;
        std::string cancelAt = ""; // the user ends the program once the log holds this
    } rows[] = {
        // clang-format off
        {"no state, before the inputs hide", [](MarkListInputs& in, RunConfig&) { in.stateText = ""; }, {}, {},
         std::nullopt, RunOutcome::Failed, std::string(kMsgStateRequired), {}},
        {"no mode", [](MarkListInputs& in, RunConfig&) { in.mode = ""; }, {}, {}, std::nullopt, RunOutcome::NoMode,
         "", {}},
        {"no service address", [](MarkListInputs&, RunConfig& to) { to.serviceUrl.clear(); }, {}, {}, std::nullopt,
         RunOutcome::Failed, std::string(kMsgNoServiceAddress), {}},
        {"the service's input error", same, {{200, "", "INPUT ERROR: unknown county\nignored\n"}}, {{200, "", "\n"}},
         std::nullopt, RunOutcome::Failed, "INPUT ERROR: unknown county", both},
        {"no marks in either reply", same, {{200, "", "header line\n\n"}}, {{200, "", "\n"}}, std::nullopt,
         RunOutcome::Failed, "No marks found!", both},
        {"the document cannot be written", [](MarkListInputs&, RunConfig& to) { to.outputDir /= "no/such"; }, {smith},
         {gps}, std::nullopt, RunOutcome::Failed, "Could not create the KML file ", both},
        {"primary fails", same, {down}, {gps}, std::nullopt, RunOutcome::Failed, "primary down", both},
        {"companion fails, the primary's marks are not written", same, {smith}, {gone}, std::nullopt,
         RunOutcome::Failed, "companion down", both},
        {"both fail: the companion's message", same, {down}, {gone}, std::nullopt, RunOutcome::Failed,
         "companion down", both},
        // An empty primary reply is a time-out even when the companion answered.
        {"primary empty, companion fine", same, {{200, "", ""}}, {gps}, std::nullopt, RunOutcome::Failed,
         std::string(kMsgNoResponse), both},
        {"a mark that cannot be read, the primary's last line without its line feed", same,
         {unread}, {gps}, std::nullopt, RunOutcome::Opened,
         "1 mark was skipped because its position could not be read: <*** Invalid minutes input (60) ***>", both},
        {"the primary asks for a sign-in", same, {refusal, smith}, {gps}, confirmed, RunOutcome::Opened, "",
         {p + "nobody", c + "nobody", p + "surveyor:s3cret"}},
        {"the companion asks for a sign-in", same, {smith}, {refusal, gps}, confirmed, RunOutcome::Opened, "",
         {p + "nobody", c + "nobody", c + "surveyor:s3cret"}},
        {"both ask: one sign-in, both repeated", same, {refusal, smith}, {refusal, gps}, confirmed,
         RunOutcome::Opened, "", {p + "nobody", c + "nobody", p + "surveyor:s3cret", c + "surveyor:s3cret"}},
        {"both ask, the sign-in cancelled", same, {refusal}, {refusal}, SignInAnswer{}, RunOutcome::Failed, failed,
         both},
        {"the typed password refused: sent once, not with the companion", same, {refusal, refusal}, {refusal},
         confirmed, RunOutcome::Failed, failed, {p + "nobody", c + "nobody", p + "surveyor:s3cret"}},
        {"the repeat fails", same, {refusal, down}, {refusal, gps}, confirmed, RunOutcome::Failed, "primary down",
         {p + "nobody", c + "nobody", p + "surveyor:s3cret", c + "surveyor:s3cret"}},
        {"ended while the KML is written", same, {smiths}, {gps}, std::nullopt, RunOutcome::Cancelled, "", both,
         "bar 1"},
        {"ended while the KMZ's document is written", kmz, {smiths}, {gps}, std::nullopt, RunOutcome::Cancelled, "",
         both, "bar 1"},
        {"ended while the KMZ is packed", kmz, {smiths}, {gps}, std::nullopt, RunOutcome::Cancelled, "", both,
         "info: " + std::string(kInfoPacking)},
        {"a field package without its pages: written, and the missing pages said", pages, {smiths}, {gps},
         std::nullopt, RunOutcome::Opened, "2 datasheets are not included in the package. The first: AB1234 (" +
         std::string(RunFakes::kRefused) + ").", {p + "nobody", c + "nobody", page + "AB1234 as nobody",
         page + "GP0001 as nobody"}},
        {"ended while the datasheets come", pages, {smiths}, {gps}, std::nullopt, RunOutcome::Cancelled, "", both,
         "info: Fetching datasheets 0 of 2..."},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const testing::Folder folder;
        const fs::path& dir = folder.path;
        RunFakes fakes;
        fakes.cancelAt = row.cancelAt;
        MarkListInputs inputs = kCounty;
        RunConfig config;
        config.serviceUrl = "http://marks.test";
        config.outputDir = dir;
        config.iconDir = fs::path(TERVANE_SOURCE_DIR) / "data" / "icons";
        row.change(inputs, config);
        fakes.replies[kPrimary] = row.primary;
        fakes.replies[kCompanion] = row.companion;
        if (row.signIn)
            fakes.answers = {*row.signIn};
        RegionCatalogue catalogue(fs::path(TEST_DATA_DIR) / "requests-catalogue.dat");
        std::string controlCode;
        RunState state{controlCode, catalogue};
        PackingNothing archiver;
        RunPorts ports{fakes, fakes, fakes, fakes, fakes.settings, fakes, fakes, fakes, &fakes, &archiver};

        const RunResult result = RetrievalRun(inputs, state, config, ports);

        EXPECT_EQ(row.outcome, result.outcome);
        const std::string shown = fakes.Last("message: ");
        const std::string said = shown.empty() ? "" : shown.substr(std::string_view("message: ").size());
        EXPECT_EQ(row.message, row.message.ends_with(' ') ? said.substr(0, row.message.size()) : said);
        EXPECT_EQ(row.signIn ? 1 : 0, fakes.asked);
        EXPECT_EQ(row.requested, fakes.requested);
        EXPECT_FALSE(fakes.Busy());
        EXPECT_EQ(row.message.empty() ? std::vector<std::string>{} : std::vector{said},
                  fakes.All("message: "));
        if (row.outcome == RunOutcome::Opened) {
            const std::string document = testing::ReadFile(result.kmlPath); // a stand-in for a KMZ
            EXPECT_TRUE(config.format != OutputFormat::Kml ||
                        (document.find("AB1234") < document.find("GP0001") && document.find("GP0001") != std::string::npos));
            EXPECT_EQ("opened " + result.kmlPath.string(), fakes.Last("opened "));
            EXPECT_TRUE(row.message.empty() || fakes.log.back() == "message: " + row.message)
                << fakes.log.back();
            EXPECT_EQ("VA", fakes.settings.GetSetting(kSettingsSection, kStateKey, "<absent>"));
            EXPECT_EQ("Fairfax ", fakes.settings.GetSetting(kSettingsSection, kCountyKey, "<absent>"));
        } else {
            EXPECT_EQ(said, result.message);
            EXPECT_EQ(row.message != kMsgStateRequired, fakes.Last("inputs") == "inputs hidden");
            EXPECT_EQ("", fakes.Last("opened "));
            EXPECT_TRUE(fs::is_empty(dir));
            EXPECT_TRUE(fakes.settings.Empty());
        }
    }
}

// The run's fetch of one request. Every kind of answer also meets the real transfer in
// tests/qt/QtAdaptersTest.cpp; these are the sequences and shapes its local server does
// not stage. A confirmed sign-in repeats the request once, with the credentials.
TEST(FetchMarkList, TurnsEachServerAnswerIntoReplyAndMessage)
{
    const SignInAnswer confirmed{true, "surveyor", "s3cret"};
    const SignInAnswer cancelled{false, "typed", "ignored"};
    const std::string url = "http://marks.example/cgi-bin/get_mark_list.prl?1=SC";
    const TransferReply marks{200, "", "   .  AB1234 1 2 ...\r\n"};
    const TransferReply refusal{200, "", "<html><title>401 Unauthorized</title></html>"};
    const TransferReply refusalIncomplete{200, "", refusal.body + "INPUT INCOMPLETE"};
    // script: status 0: the transfer fails with the body as its error
    const std::tuple<const char*, std::deque<TransferReply>, std::optional<SignInAnswer>, std::string,
                     std::string>
        rows[] = {
        // clang-format off
        {"word in lower case is no refusal", {{200, "", "unauthorized"}}, std::nullopt, "", "unauthorized"},
        {"refusal, sign-in confirmed", {refusal, marks}, confirmed, "", marks.body},
        {"empty 401 cancelled is no time-out", {{401, "", ""}}, cancelled, std::string(kMsgAccessFailed), ""},
        {"empty reply after sign-in", {refusal, {200, "", ""}}, confirmed, std::string(kMsgNoResponse), ""},
        {"empty server error is no time-out", {{503, "", ""}}, std::nullopt, "The server answered 503", ""},
        {"error status with input incomplete", {{500, "", "x INPUT INCOMPLETE"}}, std::nullopt,
         std::string(kMsgInvalidInput), "x INPUT INCOMPLETE"},
        {"input error further down an error page", {{500, "", "oops\nINPUT ERR"}}, std::nullopt,
         "The server answered 500", "oops\nINPUT ERR"},
        {"transfer failure on the repeat", {refusalIncomplete, {0, "", "Timed out"}}, confirmed, "Timed out",
         refusalIncomplete.body},
        // clang-format on
    };
    for (const auto& [name, script, signIn, failure, handedOn] : rows) {
        SCOPED_TRACE(name);
        RunFakes fetch;
        fetch.replies[url] = script;
        if (signIn)
            fetch.answers = {*signIn};
        std::string reply = "untouched";
        std::string error = "stale";
        FetchMarkList(url, reply, error, fetch, fetch);
        EXPECT_EQ(failure, error);
        EXPECT_EQ(handedOn, reply);
        std::vector<std::string> opens{url + " as nobody"};
        if (signIn && signIn->loginSucceeded)
            opens.push_back(url + " as surveyor:s3cret");
        EXPECT_EQ(opens, fetch.requested);
        EXPECT_EQ(signIn ? 1 : 0, fetch.asked);
    }
}

} // namespace
} // namespace tervane
