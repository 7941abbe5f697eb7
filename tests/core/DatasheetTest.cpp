#include "datasheets/DatasheetCache.h"
#include "datasheets/FetchDatasheets.h"
#include "kml/KmlWriter.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;
using testing::ReadFile;
using testing::WriteFile;

const Clock::time_point kNow = Clock::time_point(1'800'000'000s);

struct DatasheetTest : ::testing::Test {
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "cache"))
            names.push_back(entry.path().filename().string());
        return names;
    }
    const fs::path dir =
        fs::temp_directory_path() /
        ("tervane-datasheets-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    const DatasheetCache cache{dir / "cache"};
};

// A page is kept byte for byte with its fetch time, one file per PID, replaced whole; a
// PID is a file name inside the folder or nothing; a file not ours is no page.
TEST_F(DatasheetTest, CacheKeepsEachPageWholeInAFileOfItsPid)
{
    const std::string page("line one\r\nline two\0 and a NUL\n", 30);
    std::string error;
    ASSERT_TRUE(cache.Store("AB1234", "an older page", kNow - 1h, error)) << error;
    ASSERT_TRUE(cache.Store("AB1234", page, kNow, error)) << error;
    const auto found = cache.Find("AB1234");
    ASSERT_TRUE(found);
    EXPECT_EQ(page, found->page);
    EXPECT_EQ(kNow, found->fetched);
    EXPECT_EQ(std::vector<std::string>{"AB1234.txt"}, Files()); // no temporary left beside it

    for (const std::string_view pid : {"../AB1234", "AB/1234", "AB\n234", "AB\x7f", ""}) {
        SCOPED_TRACE(pid);
        EXPECT_FALSE(cache.Store(pid, page, kNow, error));
        EXPECT_FALSE(cache.Find(pid));
    }
    EXPECT_EQ(std::vector<std::string>{"AB1234.txt"}, Files());
    EXPECT_FALSE(fs::exists(dir / "AB1234.txt"));

    for (const std::string_view text : {"", "AB1234 page\n", "Tervane datasheet\nfetched soon\n\npage",
                                   "Tervane datasheet\nfetched 17\npage"}) {
        WriteFile(dir / "cache" / "CD0001.txt", std::string(text));
        EXPECT_FALSE(cache.Find("CD0001")) << text;
    }
    EXPECT_FALSE(DatasheetCache({}).Find("AB1234"));
    EXPECT_FALSE(DatasheetCache({}).Store("AB1234", page, kNow, error));
}

TEST(DatasheetCacheRules, FreshnessAndFolder)
{
    EXPECT_TRUE(IsFresh(kNow, kNow));
    EXPECT_TRUE(IsFresh(kNow - (kDatasheetFreshness - 1s), kNow));
    EXPECT_FALSE(IsFresh(kNow - kDatasheetFreshness, kNow));
    EXPECT_FALSE(IsFresh(kNow + 1h, kNow)); // fetched "later" than now: the clock was set back

    EXPECT_EQ(fs::path("/x/cache/Tervane/datasheets"), DatasheetCacheFolder("/x/cache", "/home/al"));
    EXPECT_EQ(fs::path("/home/al/.cache/Tervane/datasheets"), DatasheetCacheFolder("relative", "/home/al"));
    EXPECT_EQ(fs::path("/home/al/.cache/Tervane/datasheets"), DatasheetCacheFolder("", "/home/al"));
    EXPECT_EQ(fs::path(), DatasheetCacheFolder("", ""));
}

// Answers datasheet addresses by PID, a 404 for any other; records each group of requests
// sent side by side and the reply limit it was sent under.
class PageServer final : public Transfer, public DatasheetProgress {
public:
    std::map<std::string, TransferOutcome> pages;
    std::vector<std::vector<std::string>> groups;
    std::vector<std::size_t> limits;
    std::size_t limit = 0;
    std::vector<std::string> shown;
    std::size_t cancelAfterGroups = 0; // 0: never

    void SetCredentials(const std::string&, const std::string&) override {}
    bool Open(const std::string&, TransferReply&, std::string& error) override
    {
        ADD_FAILURE() << "pages are asked for side by side";
        error = "no";
        return false;
    }
    std::vector<TransferOutcome> OpenEach(const std::vector<std::string>& urls) override
    {
        groups.emplace_back();
        limits.push_back(limit);
        std::vector<TransferOutcome> outcomes;
        for (const std::string& url : urls) {
            EXPECT_EQ(0u, url.find("http://marks.test/cgi-bin/ds_mark.prl?PidBox=")) << url;
            const std::string pid = url.substr(url.find('=') + 1);
            groups.back().push_back(pid);
            const auto page = pages.find(pid);
            outcomes.push_back(page != pages.end() ? page->second
                                                   : TransferOutcome{true, {404, "Not Found", "no such"}, ""});
        }
        return outcomes;
    }
    void SetReplyLimit(std::size_t maxBytes) override { limit = maxBytes; }
    void Fetched(std::size_t done, std::size_t total) override
    {
        shown.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    bool Cancelled() const override { return cancelAfterGroups != 0 && groups.size() >= cancelAfterGroups; }

    static TransferOutcome Page(std::string body) { return {true, {200, "OK", std::move(body)}, ""}; }
};

// Every PID ends included or missing with its reason; the cache spares the service what
// it holds fresh and stands in for what the service cannot give; nothing goes out
// offline; at most four requests at a time, each held to a page's size.
TEST_F(DatasheetTest, EveryPageIsIncludedOrNamedMissingWithItsReason)
{
    std::string error;
    ASSERT_TRUE(cache.Store("FR0001", "fresh page", kNow - 1h, error));
    ASSERT_TRUE(cache.Store("ST0001", "stale page", kNow - kDatasheetFreshness - 1h, error));
    ASSERT_TRUE(cache.Store("ST0002", "stale page kept", kNow - kDatasheetFreshness - 1h, error));
    PageServer server;
    server.pages = {
        {"AB0001", PageServer::Page("page one")},
        {"AB0002", PageServer::Page("page two")},
        {"ST0001", PageServer::Page("new page")},
        {"ST0002", {false, {}, "Could not reach the mark-list service: Connection refused"}},
        {"EM0001", PageServer::Page("")},
        {"SI0001", {true, {401, "Unauthorized", ""}, ""}},
        {"BG0001", {false, {}, "The mark-list service's reply is larger than 1 MiB and was not accepted."}},
    };
    const std::vector<std::string_view> pids{"AB0001", "FR0001", "NF0001", "AB0002", "ST0001", "ST0002",
                                             "AB0001", "EM0001", "SI0001", "BG0001", "../x"};
    const struct {
        bool offline;
        std::map<std::string, std::string> included;
        std::map<std::string, std::string> missing;
        std::vector<std::vector<std::string>> groups;
    } rows[] = {
        {false,
         {{"AB0001", "page one"}, {"AB0002", "page two"}, {"FR0001", "fresh page"}, {"ST0001", "new page"},
          {"ST0002", "stale page kept"}},
         {{"NF0001", "the service answered 404 Not Found"},
          {"EM0001", "the service sent an empty page"},
          {"SI0001", "the service asks for a sign-in"},
          {"BG0001", "The mark-list service's reply is larger than 1 MiB and was not accepted."},
          {"../x", "its PID holds a folder separator or a control character"}},
         {{"AB0001", "NF0001", "AB0002", "ST0001"}, {"ST0002", "EM0001", "SI0001", "BG0001"}}},
        // Offline, whatever the cache holds counts, however old (the row above renewed ST0001).
        {true,
         {{"AB0001", "page one"}, {"AB0002", "page two"}, {"FR0001", "fresh page"}, {"ST0001", "new page"},
          {"ST0002", "stale page kept"}},
         {{"NF0001", "not in the cache, and a saved reply is read without asking the service"},
          {"EM0001", "not in the cache, and a saved reply is read without asking the service"},
          {"SI0001", "not in the cache, and a saved reply is read without asking the service"},
          {"BG0001", "not in the cache, and a saved reply is read without asking the service"},
          {"../x", "its PID holds a folder separator or a control character"}},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offline ? "offline" : "online");
        server.groups.clear();
        server.limits.clear();
        Datasheets datasheets;
        DatasheetSource source{"http://marks.test", &cache, row.offline, kNow};
        ASSERT_TRUE(FetchDatasheets(pids, source, server, &server, datasheets));

        EXPECT_EQ(row.groups, server.groups);
        for (const std::size_t limit : server.limits)
            EXPECT_EQ(kMaxDatasheetBytes, limit);
        EXPECT_EQ(0u, server.limit); // set back for the transfer's other requests
        EXPECT_EQ(row.included.size() + row.missing.size(), datasheets.Size());
        EXPECT_EQ(row.missing.size(), datasheets.Missing());
        for (const auto& [pid, text] : row.included) {
            const DatasheetPage* page = datasheets.Find(pid);
            ASSERT_TRUE(page && page->included) << pid;
            EXPECT_EQ(text, page->text);
        }
        for (const auto& [pid, reason] : row.missing) {
            const DatasheetPage* page = datasheets.Find(pid);
            ASSERT_TRUE(page && !page->included) << pid;
            EXPECT_EQ(reason, page->text);
        }
        EXPECT_EQ(row.offline ? "5 datasheets are not included in the package. The first: NF0001 (not in the "
                                "cache, and a saved reply is read without asking the service)."
                              : "5 datasheets are not included in the package. The first: NF0001 (the service "
                                "answered 404 Not Found).",
                  MissingDatasheetsMessage(datasheets, pids));
    }
    // Fetched pages are kept; the count moves with each group.
    EXPECT_EQ("page one", cache.Find("AB0001")->page);
    EXPECT_EQ("new page", cache.Find("ST0001")->page);
    EXPECT_EQ((std::vector<std::string>{"10/10", "10/10"}), std::vector(server.shown.end() - 2, server.shown.end()));
    EXPECT_EQ((std::vector<std::string>{"2/10", "6/10", "10/10"}), std::vector(server.shown.begin(), server.shown.begin() + 3));
}

// No further request goes out once the user ends the program, or once a whole group went
// unanswered (a service that stopped answering would hold the run a time limit per group).
TEST_F(DatasheetTest, StopsAskingWhenCancelledOrWhenAWholeGroupIsUnanswered)
{
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i)
        names.push_back("AB000" + std::to_string(i));
    const std::vector<std::string_view> pids(names.begin(), names.end());
    for (const std::size_t atOnce : {std::size_t{1}, kDatasheetRequestsAtOnce}) {
        PageServer server;
        server.cancelAfterGroups = 2;
        Datasheets datasheets;
        DatasheetSource source{"http://marks.test", nullptr, false, kNow, atOnce};
        EXPECT_FALSE(FetchDatasheets(pids, source, server, &server, datasheets));
        EXPECT_EQ(2u, server.groups.size());
        EXPECT_EQ(atOnce, server.groups.back().size());
        EXPECT_EQ(0u, server.limit);
    }
    PageServer silent;
    for (const std::string& pid : names)
        silent.pages[pid] = {false, {}, "The mark-list service did not answer within 60 seconds."};
    silent.pages["AB0000"] = PageServer::Page("page");
    Datasheets datasheets;
    ASSERT_TRUE(FetchDatasheets(pids, {"http://marks.test", nullptr, false, kNow}, silent, nullptr, datasheets));
    EXPECT_EQ(2u, silent.groups.size());
    EXPECT_EQ(9u, datasheets.Missing());
    EXPECT_EQ("not asked, the service having answered none of the requests before: The mark-list service did not "
              "answer within 60 seconds.",
              datasheets.Find("AB0009")->text);
}

// A page is text from outside: inside the description it shows as text, whatever it
// holds (markup, a script, the end of a CDATA section, control characters, Latin-1),
// and the link before it stays as it was.
TEST(DatasheetPlacemark, PageIsEscapedWholeAfterTheLink)
{
    const std::string link =
        "    <description>      <![CDATA[\r\n      <a href=\"http://marks.test/cgi-bin/ds_mark.prl?PidBox=AB1234\">"
        "AB1234</a>";
    const struct {
        DatasheetPage page;
        std::string expected;
    } rows[] = {
        {{true, "<b>x</b> & <script>alert(1)</script> ]]> \x01\x1b[2J tab\there\r\nCaf\xe9\n"},
         link + "\r\n      <pre>&lt;b&gt;x&lt;/b&gt; &amp; &lt;script&gt;alert(1)&lt;/script&gt; ]]&gt; [2J "
                "tab\there\nCaf\xc3\xa9\n</pre>]]>\r\n    </description>\r\n"},
        {{false, "the service answered 404 <Not Found>"},
         link + "\r\n      <p>The datasheet is not included: the service answered 404 &lt;Not Found&gt;</p>]]>\r\n"
                "    </description>\r\n"},
    };
    for (const auto& row : rows) {
        std::string out;
        AppendPlacemark(out, "AB1234", "SMITH", 38.9, -77.0, "2", "1", "http://marks.test", &row.page);
        const std::size_t start = out.find("    <description>");
        const std::size_t end = out.find("    <altitudeMode>");
        ASSERT_NE(std::string::npos, start);
        EXPECT_EQ(row.expected, out.substr(start, end - start));
    }
    // An unnamed mark has no description without a page, and one with it.
    std::string plain;
    AppendPlacemark(plain, "AB1234", "  ", 38.9, -77.0, "2", "1", "http://marks.test");
    EXPECT_EQ(std::string::npos, plain.find("<description>"));
    std::string unnamed;
    AppendPlacemark(unnamed, "AB1234", "  ", 38.9, -77.0, "2", "1", "http://marks.test", &rows[0].page);
    EXPECT_NE(std::string::npos, unnamed.find("<pre>"));
}

} // namespace
} // namespace tervane
