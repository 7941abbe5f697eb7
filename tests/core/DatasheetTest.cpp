#include "datasheets/DatasheetCache.h"
#include "datasheets/FetchDatasheets.h"
#include "kml/KmlWriter.h"

#include "ReplyLines.h"
#include "RunFakes.h"

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

// The counts a run would show; cancelled once `stopAfter` groups of requests went out.
struct Progress final : DatasheetProgress {
    explicit Progress(const testing::RunFakes& fakes, std::size_t stopAfter = 0) : m_fakes(fakes), m_stopAfter(stopAfter) {}
    void Fetched(std::size_t done, std::size_t total) override
    {
        shown.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    bool Cancelled() const override { return m_stopAfter != 0 && m_fakes.groups.size() >= m_stopAfter; }
    std::vector<std::string> shown;

private:
    const testing::RunFakes& m_fakes;
    std::size_t m_stopAfter;
};

const std::string kPage = "http://marks.test/cgi-bin/ds_mark.prl?PidBox=";

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
    testing::RunFakes service; // a PID not scripted is refused
    service.replies[kPage + "AB0001"] = {{200, "OK", "page one"}};
    service.replies[kPage + "ST0001"] = {{200, "OK", "new page"}};
    service.replies[kPage + "NF0001"] = {{404, "Not Found", "no such mark"}};
    service.replies[kPage + "EM0001"] = {{200, "OK", ""}};
    service.replies[kPage + "SI0001"] = {{401, "Unauthorized", ""}};
    const std::vector<std::string_view> pids{"AB0001", "FR0001", "NF0001", "ST0001", "ST0002",
                                             "AB0001", "EM0001", "SI0001", "BG0001", "../x"};
    // PID: the page, or "-" and the reason it is missing; online, then offline.
    const std::string refused = "-" + std::string(testing::RunFakes::kRefused);
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"AB0001", {"page one", "page one"}},
        {"FR0001", {"fresh page", "fresh page"}},
        {"ST0001", {"new page", "new page"}},
        {"ST0002", {"stale page kept", "stale page kept"}},
        {"NF0001", {"-the service answered 404 Not Found", "-" + kNotCached}},
        {"EM0001", {"-the service sent an empty page", "-" + kNotCached}},
        {"SI0001", {"-the service asks for a sign-in", "-" + kNotCached}},
        {"BG0001", {refused, "-" + kNotCached}},
        {"../x", {"-its PID holds a folder separator or a control character",
                  "-its PID holds a folder separator or a control character"}},
    };
    for (const bool offline : {false, true}) {
        SCOPED_TRACE(offline ? "offline" : "online");
        service.groups.clear();
        service.requested.clear();
        Progress progress(service);
        Datasheets datasheets;
        ASSERT_TRUE(FetchDatasheets(pids, {"http://marks.test", &cache, offline, kNow}, service, &progress, datasheets));

        using Groups = std::vector<std::pair<std::size_t, std::size_t>>;
        const Groups groups{{4, kMaxDatasheetBytes}, {3, kMaxDatasheetBytes}};
        EXPECT_EQ(offline ? Groups{} : groups, service.groups);
        EXPECT_EQ(0u, service.replyLimit); // set back for the transfer's other requests
        std::vector<std::string> asked;
        for (const char* pid : {"AB0001", "NF0001", "ST0001", "ST0002", "EM0001", "SI0001", "BG0001"})
            asked.push_back(kPage + pid + " as nobody");
        EXPECT_EQ(offline ? std::vector<std::string>{} : asked, service.requested);
        const std::vector<std::string> counted{"2/9", "6/9", "9/9"};
        EXPECT_EQ(offline ? std::vector<std::string>{"9/9"} : counted, progress.shown);
        EXPECT_EQ(expected.size(), datasheets.Size());
        EXPECT_EQ(5u, datasheets.Missing());
        for (const auto& [pid, texts] : expected) {
            const DatasheetPage* page = datasheets.Find(pid);
            ASSERT_TRUE(page) << pid;
            EXPECT_EQ(offline ? texts.second : texts.first, (page->included ? "" : "-") + page->text);
        }
        EXPECT_EQ("5 datasheets are not included in the package. The first: NF0001 (" +
                      (offline ? kNotCached : "the service answered 404 Not Found") + ").",
                  MissingDatasheetsMessage(datasheets, pids));
    }
    EXPECT_EQ("new page", cache.Find("ST0001")->page); // fetched pages are kept
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
        testing::RunFakes service;
        for (const std::string& pid : names)
            service.replies[kPage + pid] = {{200, "OK", "page"}};
        Progress progress(service, 2);
        Datasheets datasheets;
        EXPECT_FALSE(FetchDatasheets(pids, {"http://marks.test", nullptr, false, kNow, atOnce}, service, &progress,
                                     datasheets));
        EXPECT_EQ(2 * atOnce, service.requested.size());
    }
    testing::RunFakes silent; // refuses every page but the first
    silent.replies[kPage + "AB0000"] = {{200, "OK", "page"}};
    Datasheets datasheets;
    ASSERT_TRUE(FetchDatasheets(pids, {"http://marks.test", nullptr, false, kNow}, silent, nullptr, datasheets));
    EXPECT_EQ(2u, silent.groups.size());
    EXPECT_EQ(9u, datasheets.Missing());
    EXPECT_EQ("not asked, the service having answered none of the requests before: " +
                  std::string(testing::RunFakes::kRefused),
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
