#include "retrieval/RetrievalRun.h"

#include "ReplyLines.h"

#include "kml/MarkDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::MarkLine;

class FakeTransfer final : public Transfer {
public:
    std::map<std::string, std::string> replies; // by URL; absent: connection refused
    std::vector<std::string> requested;
    void SetCredentials(const std::string&, const std::string&) override {}
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override
    {
        requested.push_back(url);
        auto it = replies.find(url);
        if (it == replies.end()) {
            error = "Could not reach the mark-list service: Connection refused";
            return false;
        }
        reply.status = 200;
        reply.body = it->second;
        return true;
    }
};

class NoSignIn final : public SignInPrompt {
public:
    SignInAnswer Ask() override { return {}; }
};

// Records every visible effect of the run, in order, in one log.
class Recorder final : public MessageBox, public MousePointer, public QueryInputs, public ProcessingDialog,
                       public DocumentOpener, public SettingsStore {
public:
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::map<std::string, std::string> settings;
    std::vector<fs::path> opened;
    bool hourglass = false;

    void Show(const std::string& text) override
    {
        messages.push_back(text);
        log.push_back("message: " + text);
    }
    void ShowHourglass() override { log.push_back("pointer: hourglass"); hourglass = true; }
    void ShowDefault() override { log.push_back("pointer: default"); hourglass = false; }
    void HideQueryInputs() override { log.push_back("inputs hidden"); }
    void Show() override { log.push_back("dialog shown"); }
    void Hide() override { log.push_back("dialog hidden"); }
    void HideProcessingLabel() override { log.push_back("processing label hidden"); }
    void SetInfo(const std::string& text) override { log.push_back("info: " + text); }
    void SetBarVisible(bool visible) override { log.push_back(visible ? "bar shown" : "bar hidden"); }
    void SetBarMaximum(std::size_t maximum) override { log.push_back("bar max " + std::to_string(maximum)); }
    void SetBarValue(std::size_t value) override { log.push_back("bar " + std::to_string(value)); }
    void Open(const fs::path& document) override
    {
        opened.push_back(document);
        log.push_back("opened");
    }
    std::string GetSetting(std::string_view section, std::string_view key, std::string_view def) override
    {
        auto it = settings.find(std::string(section) + "/" + std::string(key));
        return it == settings.end() ? std::string(def) : it->second;
    }
    void SaveSetting(std::string_view section, std::string_view key, std::string_view value) override
    {
        settings[std::string(section) + "/" + std::string(key)] = value;
    }
    bool Logged(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
};

constexpr const char* kService = "http://marks.test";
const std::string kPrimary = std::string(kService) + "/cgi-bin/get_mark_list.prl?1=COUNTY&2=VA&3=059&4=H-0-0";
const std::string kCompanion = std::string(kService) + "/cgi-bin/get_mark_list.prl?1=COUNTY&2=VA&3=059&4=H-G-0";
const std::string kSmith = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\n";
const std::string kGps = MarkLine("GP0001", "N385400", "W0770300", "GPS ONE") + "\n";

class RetrievalRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("tervane-run-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "Country.dat", std::ios::binary)
            << "RA  US US\r\nRB  VA Virginia\r\nRC  059 Fairfax\r\nRC  600 Fairfax city\r\n";
        m_config.serviceUrl = kService;
        m_config.outputDir = m_dir;
        m_inputs.mode = "SC";
        m_inputs.stateText = "VA";
        m_inputs.countyText = "Fairfax ";
        m_inputs.controlTypeText = "HORIZONTAL";
        m_inputs.selectedRegion = "US";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    RunResult Run()
    {
        RegionCatalogue catalogue(m_dir / "Country.dat");
        RunState state{m_controlCode, catalogue};
        RunPorts ports{m_rec, m_rec, m_rec, m_rec, m_rec, m_transfer, m_signIn, m_rec};
        RunResult result = RetrievalRun(m_inputs, state, m_config, ports);
        m_controlCode = state.controlCode;
        return result;
    }

    fs::path m_dir;
    RunConfig m_config;
    MarkListInputs m_inputs;
    std::string m_controlCode;
    FakeTransfer m_transfer;
    NoSignIn m_signIn;
    Recorder m_rec;
};

TEST_F(RetrievalRunTest, CountyQueryWritesOpensAndRemembers)
{
    // The primary reply's last line must not swallow the companion's first one.
    m_transfer.replies[kPrimary] = MarkLine("AB1234", "N385323", "W0770213", "SMITH");
    m_transfer.replies[kCompanion] = kGps;

    RunResult result = Run();

    ASSERT_EQ(RunOutcome::Opened, result.outcome) << result.message;
    EXPECT_EQ((std::vector<std::string>{kPrimary, kCompanion}), m_transfer.requested);
    EXPECT_EQ(m_dir / "VA_Fairfax_H-0-0.kml", result.kmlPath);
    EXPECT_TRUE(fs::exists(result.kmlPath));
    EXPECT_EQ(2u, result.report.placemarks);
    EXPECT_EQ((std::vector<fs::path>{result.kmlPath}), m_rec.opened);
    EXPECT_EQ("VA", m_rec.settings["Settings/State"]);
    EXPECT_EQ("Fairfax ", m_rec.settings["Settings/County"]); // untrimmed, as typed
    const std::vector<std::string> expected{
        "inputs hidden",
        "processing label hidden", "info: Getting PID list from NivoraIDB...", "bar hidden", "dialog shown",
        "pointer: hourglass", "pointer: hourglass", "dialog hidden",
        "processing label hidden", "info: Creating .kml file...", "bar max 3", "bar shown", "dialog shown",
        "bar 0", "bar 1", "bar 2",
        "pointer: default",
        "info: Starting GoogleEarth...", "bar hidden", "opened", "dialog hidden",
    };
    EXPECT_EQ(expected, m_rec.log);
}

TEST_F(RetrievalRunTest, FetchAndReplyFailuresShowTheirTextAndWriteNothing)
{
    struct Row {
        const char* name;
        const char* primary;   // nullptr: refused
        const char* companion; // nullptr: refused
        std::string shown;
    };
    const std::string refused = "Could not reach the mark-list service: Connection refused";
    const Row rows[] = {
        {"companion fails", kSmith.c_str(), nullptr, refused},
        {"primary fails", nullptr, kGps.c_str(), refused},
        // An empty primary reply is a time-out even when the companion answered.
        {"primary empty, companion fine", "", kGps.c_str(), "Request timeout.\r\nNo response received."},
        {"the service's input error", "INPUT ERROR: unknown county\nignored\n", "\n", "INPUT ERROR: unknown county"},
        {"no marks in either reply", "header line\n\n", "\n", "No marks found!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_transfer = FakeTransfer();
        m_rec = Recorder();
        if (row.primary)
            m_transfer.replies[kPrimary] = row.primary;
        if (row.companion)
            m_transfer.replies[kCompanion] = row.companion;

        RunResult result = Run();

        EXPECT_EQ(row.shown, result.message);
        EXPECT_EQ((std::vector<std::string>{row.shown}), m_rec.messages);
        EXPECT_EQ(RunOutcome::Failed, result.outcome);
        EXPECT_EQ(2u, m_transfer.requested.size()); // the companion is fetched regardless
        EXPECT_FALSE(fs::exists(m_dir / "VA_Fairfax_H-0-0.kml"));
        EXPECT_TRUE(m_rec.settings.empty());
        EXPECT_TRUE(m_rec.opened.empty());
        EXPECT_FALSE(m_rec.hourglass);
    }
}

TEST_F(RetrievalRunTest, ValidationFailuresStopBeforeAnythingIsFetched)
{
    m_inputs.stateText = "";
    EXPECT_EQ("State must be selected first!", Run().message);
    EXPECT_FALSE(m_rec.Logged("inputs hidden")); // the first checks come before hiding

    m_inputs.stateText = "VA";
    m_inputs.mode = "LL";
    m_inputs.latitudeText = "N385323";
    m_inputs.longitudeText = "W0770213";
    m_inputs.radiusText = "31";
    EXPECT_EQ("Invalid radius!", Run().message);
    EXPECT_TRUE(m_rec.Logged("inputs hidden"));
    EXPECT_FALSE(m_rec.Logged("dialog shown"));
    EXPECT_TRUE(m_transfer.requested.empty());

    m_inputs.mode = "";
    EXPECT_EQ(RunOutcome::NoMode, Run().outcome);
    EXPECT_EQ(2u, m_rec.messages.size()); // none more for a run without a mode
}

TEST_F(RetrievalRunTest, MissingServiceAddressIsReportedBeforeFetching)
{
    m_config.serviceUrl.clear();
    EXPECT_EQ(RunOutcome::Failed, Run().outcome);
    ASSERT_EQ(1u, m_rec.messages.size());
    EXPECT_NE(std::string::npos, m_rec.messages[0].find("TERVANE_SERVICE_URL"));
    EXPECT_TRUE(m_transfer.requested.empty());
}

TEST_F(RetrievalRunTest, WriteFailureTakesTheGeneralFailurePath)
{
    m_config.outputDir = m_dir / "no" / "such" / "folder";
    m_transfer.replies[kPrimary] = kSmith;
    m_transfer.replies[kCompanion] = kGps;

    RunResult result = Run();

    EXPECT_EQ(RunOutcome::Failed, result.outcome);
    EXPECT_FALSE(result.message.empty());
    EXPECT_TRUE(m_rec.settings.empty());
    EXPECT_TRUE(m_rec.opened.empty());
    ASSERT_GE(m_rec.log.size(), 3u);
    EXPECT_EQ((std::vector<std::string>{"message: " + result.message, "dialog hidden", "pointer: default"}),
              std::vector<std::string>(m_rec.log.end() - 3, m_rec.log.end()));
}

TEST_F(RetrievalRunTest, SkippedMarksAreReportedOnceAfterOpening)
{
    m_transfer.replies[kPrimary] = MarkLine("AB1234", "N386023", "W0770213", "BAD MINUTES") + "\n" + kSmith;
    m_transfer.replies[kCompanion] = "\n"; // a companion with no marks is fine

    RunResult result = Run();

    ASSERT_EQ(RunOutcome::Opened, result.outcome) << result.message;
    EXPECT_EQ(1u, result.report.skipped);
    ASSERT_EQ(1u, m_rec.messages.size());
    EXPECT_EQ(SkippedMarksMessage(result.report), m_rec.messages[0]);
    EXPECT_NE(std::string::npos, m_rec.messages[0].find("Invalid minutes input (60)"));
    EXPECT_EQ("message: " + m_rec.messages[0], m_rec.log.back()); // after the viewer started
}

// The command line's run: a saved reply stands for both requests (asking for the
// companion as well would fail although every mark is at hand), nothing is remembered
// and no viewer is announced.
TEST_F(RetrievalRunTest, WithoutCompanionSettingsOrViewerOnlyThePrimaryIsAsked)
{
    m_config.fetchCompanion = false;
    m_config.saveSettings = false;
    m_config.openDocument = false;
    m_transfer.replies[kPrimary] = kSmith + kGps;

    RunResult result = Run();

    ASSERT_EQ(RunOutcome::Opened, result.outcome) << result.message;
    EXPECT_EQ((std::vector<std::string>{kPrimary}), m_transfer.requested);
    EXPECT_EQ(kCompanion, result.request.companionUrl); // composed all the same
    EXPECT_EQ(2u, result.report.placemarks);
    EXPECT_TRUE(m_rec.settings.empty());
    EXPECT_TRUE(m_rec.opened.empty());
    EXPECT_FALSE(m_rec.Logged("info: Starting GoogleEarth..."));
    EXPECT_EQ("dialog hidden", m_rec.log.back());
}

} // namespace
} // namespace tervane
