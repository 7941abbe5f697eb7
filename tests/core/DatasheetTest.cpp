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

const Clock::time_point kNow = Clock::time_point(1'800'000'000s);
const std::string kNotCached = "not in the cache, and a saved reply is read without asking the service";

// A page is kept byte for byte with its fetch time, one file per PID, replaced whole; a
// PID is a file name inside the folder or nothing; a file not ours is no page; a page is
// fresh for seven days and never when fetched "later" than now.
TEST(DatasheetCache, KeepsEachPageWholeInAFileOfItsPid)
{
    const testing::Folder folder;
    const DatasheetCache cache(folder.path / "cache");
    const std::string page("line one\r\nline two\0 and a NUL\n", 30);
    std::string error;
    ASSERT_TRUE(cache.Store("AB1234", "an older page", kNow - 1h, error)) << error;
    ASSERT_TRUE(cache.Store("AB1234", page, kNow, error)) << error;
    for (const std::string_view pid : {"../AB1234", "AB/1234", "AB\n234", "AB\x7f", ""})
        EXPECT_FALSE(cache.Store(pid, page, kNow, error) || cache.Find(pid)) << pid;
    EXPECT_EQ(page, cache.Find("AB1234")->page);
    EXPECT_EQ(kNow, cache.Find("AB1234")->fetched);
    EXPECT_EQ(1, std::distance(fs::directory_iterator(cache.Folder()), {})); // no temporary left beside it
    EXPECT_FALSE(fs::exists(folder.path / "AB1234.txt"));
    for (const std::string_view text : {"", "AB1234 page\n", "Tervane datasheet\nfetched soon\n\npage",
                                        "Tervane datasheet\nfetched 17\npage"}) {
        testing::WriteFile(cache.Folder() / "CD0001.txt", std::string(text));
        EXPECT_FALSE(cache.Find("CD0001")) << text;
    }
    EXPECT_FALSE(DatasheetCache({}).Find("AB1234") || DatasheetCache({}).Store("AB1234", page, kNow, error));

    EXPECT_TRUE(IsFresh(kNow - (kDatasheetFreshness - 1s), kNow));
    EXPECT_FALSE(IsFresh(kNow - kDatasheetFreshness, kNow));
    EXPECT_FALSE(IsFresh(kNow + 1h, kNow));
    EXPECT_EQ(fs::path("/x/Tervane/datasheets"), DatasheetCacheFolder("/x", "/home/al"));
    EXPECT_EQ(fs::path("/home/al/.cache/Tervane/datasheets"), DatasheetCacheFolder("relative", "/home/al"));
    EXPECT_EQ(fs::path(), DatasheetCacheFolder("", ""));
}

// Answers datasheet addresses by PID (a 404 for others); records each group of requests
// sent side by side, the reply limit in force, and the counts shown.
class PageServer final : public Transfer, public DatasheetProgress {
public:
    std::map<std::string, TransferOutcome> pages;
    std::vector<std::vector<std::string>> groups;
    std::size_t limit = 0;
    std::vector<std::string> shown;
    std::size_t cancelAfterGroups = 0; // 0: never

    void SetCredentials(const std::string&, const std::string&) override {}
    bool Open(const std::string&, TransferReply&, std::string&) override { return false; }
    std::vector<TransferOutcome> OpenEach(const std::vector<std::string>& urls) override
    {
        EXPECT_EQ(kMaxDatasheetBytes, limit);
        groups.emplace_back();
        std::vector<TransferOutcome> outcomes;
        for (const std::string& url : urls) {
            const std::string pid = url.substr(std::string_view("http://marks.test/cgi-bin/ds_mark.prl?PidBox=").size());
            groups.back().push_back(pid);
            const auto page = pages.find(pid);
            outcomes.push_back(page != pages.end() ? page->second : TransferOutcome{true, {404, "Not Found", "x"}, ""});
        }
        return outcomes;
    }
    void SetReplyLimit(std::size_t maxBytes) override { limit = maxBytes; }
    void Fetched(std::size_t done, std::size_t total) override
    {
        shown.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    bool Cancelled() const override { return cancelAfterGroups != 0 && groups.size() >= cancelAfterGroups; }
};

TransferOutcome Page(std::string body) { return {true, {200, "OK", std::move(body)}, ""}; }

// Every PID ends included or missing with its reason, each asked once, four at a time,
// under a page's size limit; the cache spares the service what it holds fresh and stands
// in for what the service cannot give; offline, nothing goes out and the cache's pages
// count however old.
TEST(FetchDatasheets, EveryPageIsIncludedOrNamedMissingWithItsReason)
{
    const testing::Folder folder;
    const DatasheetCache cache(folder.path);
    std::string error;
    ASSERT_TRUE(cache.Store("FR0001", "fresh page", kNow - 1h, error));
    ASSERT_TRUE(cache.Store("ST0001", "stale page", kNow - kDatasheetFreshness - 1h, error));
    ASSERT_TRUE(cache.Store("ST0002", "stale page kept", kNow - kDatasheetFreshness - 1h, error));
    PageServer server;
    server.pages = {{"AB0001", Page("page one")},
                    {"ST0001", Page("new page")},
                    {"ST0002", {false, {}, "Could not reach the mark-list service: Connection refused"}},
                    {"EM0001", Page("")},
                    {"SI0001", {true, {401, "Unauthorized", ""}, ""}},
                    {"BG0001", {false, {}, "The mark-list service's reply is larger than 1 MiB."}}};
    const std::vector<std::string_view> pids{"AB0001", "FR0001", "NF0001", "ST0001", "ST0002",
                                             "AB0001", "EM0001", "SI0001", "BG0001", "../x"};
    // PID: the page, or "-" and the reason it is missing; online, then offline.
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"AB0001", {"page one", "page one"}},
        {"FR0001", {"fresh page", "fresh page"}},
        {"ST0001", {"new page", "new page"}},
        {"ST0002", {"stale page kept", "stale page kept"}},
        {"NF0001", {"-the service answered 404 Not Found", "-" + kNotCached}},
        {"EM0001", {"-the service sent an empty page", "-" + kNotCached}},
        {"SI0001", {"-the service asks for a sign-in", "-" + kNotCached}},
        {"BG0001", {"-The mark-list service's reply is larger than 1 MiB.", "-" + kNotCached}},
        {"../x", {"-its PID holds a folder separator or a control character",
                  "-its PID holds a folder separator or a control character"}},
    };
    for (const bool offline : {false, true}) {
        SCOPED_TRACE(offline ? "offline" : "online");
        server.groups.clear();
        Datasheets datasheets;
        ASSERT_TRUE(FetchDatasheets(pids, {"http://marks.test", &cache, offline, kNow}, server, &server, datasheets));

        using Groups = std::vector<std::vector<std::string>>;
        const Groups groups{{"AB0001", "NF0001", "ST0001", "ST0002"}, {"EM0001", "SI0001", "BG0001"}};
        EXPECT_EQ(offline ? Groups{} : groups, server.groups);
        EXPECT_EQ(0u, server.limit); // set back for the transfer's other requests
        EXPECT_EQ(expected.size(), datasheets.Size());
        EXPECT_EQ(5u, datasheets.Missing());
        for (const auto& [pid, texts] : expected) {
            const std::string& text = offline ? texts.second : texts.first;
            const DatasheetPage* page = datasheets.Find(pid);
            ASSERT_TRUE(page) << pid;
            EXPECT_EQ(text, (page->included ? "" : "-") + page->text);
        }
        EXPECT_EQ("5 datasheets are not included in the package. The first: NF0001 (" +
                      (offline ? kNotCached : "the service answered 404 Not Found") + ").",
                  MissingDatasheetsMessage(datasheets, pids));
    }
    EXPECT_EQ("new page", cache.Find("ST0001")->page); // fetched pages are kept
    EXPECT_EQ((std::vector<std::string>{"2/9", "6/9", "9/9", "9/9"}), server.shown);
}

// No further request goes out once the user ends the program, or once a whole group went
// unanswered (a service that stopped answering would hold the run a time limit per group).
TEST(FetchDatasheets, StopsAskingWhenCancelledOrWhenAWholeGroupIsUnanswered)
{
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i)
        names.push_back("AB000" + std::to_string(i));
    const std::vector<std::string_view> pids(names.begin(), names.end());
    for (const std::size_t atOnce : {std::size_t{1}, kDatasheetRequestsAtOnce}) {
        PageServer server;
        server.cancelAfterGroups = 2;
        Datasheets datasheets;
        EXPECT_FALSE(FetchDatasheets(pids, {"http://marks.test", nullptr, false, kNow, atOnce}, server, &server,
                                     datasheets));
        EXPECT_EQ(2u, server.groups.size());
        EXPECT_EQ(atOnce, server.groups.back().size());
    }
    PageServer silent;
    for (const std::string& pid : names)
        silent.pages[pid] = {false, {}, "The mark-list service did not answer within 60 seconds."};
    silent.pages["AB0000"] = Page("page");
    Datasheets datasheets;
    ASSERT_TRUE(FetchDatasheets(pids, {"http://marks.test", nullptr, false, kNow}, silent, nullptr, datasheets));
    EXPECT_EQ(2u, silent.groups.size());
    EXPECT_EQ(9u, datasheets.Missing());
    EXPECT_EQ("not asked, the service having answered none of the requests before: The mark-list service did not "
              "answer within 60 seconds.",
              datasheets.Find("AB0009")->text);
}

// A page is text from outside: inside the description it shows as text, whatever it
// holds (markup, a script, the end of a CDATA section, control characters, Latin-1), and
// the link before it stays as it was. An unnamed mark has a description for its page.
TEST(DatasheetPlacemark, PageIsEscapedWholeAfterTheLink)
{
    const std::string link =
        "    <description>      <![CDATA[\r\n      <a href=\"http://marks.test/cgi-bin/ds_mark.prl?PidBox=AB1234\">"
        "AB1234</a>\r\n      ";
    const std::pair<DatasheetPage, std::string> rows[] = {
        {{true, "<b>x</b> & <script>alert(1)</script> ]]> \x01\x1b[2J tab\there\r\nCaf\xe9\n"},
         "<pre>&lt;b&gt;x&lt;/b&gt; &amp; &lt;script&gt;alert(1)&lt;/script&gt; ]]&gt; [2J tab\there\nCaf\xc3\xa9\n</pre>"},
        {{false, "the service answered 404 <Not Found>"},
         "<p>The datasheet is not included: the service answered 404 &lt;Not Found&gt;</p>"},
    };
    for (const auto& [page, shown] : rows) {
        for (const char* name : {"SMITH", "  "}) {
            std::string out;
            AppendPlacemark(out, "AB1234", name, 38.9, -77.0, "2", "1", "http://marks.test", &page);
            const std::size_t start = out.find("    <description>");
            ASSERT_NE(std::string::npos, start) << name;
            EXPECT_EQ(link + shown + "]]>\r\n    </description>\r\n",
                      out.substr(start, out.find("    <altitudeMode>") - start));
        }
    }
}

} // namespace
} // namespace tervane
