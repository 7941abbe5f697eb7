#include "retrieval/MarkList.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// A mark line as the service lays it out; the unread columns hold plausible filler.
std::string MarkLine(const std::string& pid, char horizontal, char vertical, const std::string& latitude,
                     const std::string& longitude, const std::string& designation)
{
    std::string line = "  1.  " + pid + " " + horizontal + " " + vertical + " GPS 19870101" + latitude + " " +
                       longitude + " 1234 " + designation;
    return line;
}

const std::string kSmith = MarkLine("AB1234", '2', '1', "N385323", "W0770213", "SMITH");

TEST(ReadMarkList, TakesTheFieldsFromTheirColumns)
{
    ASSERT_EQ(51u, kSmith.size() - 5); // designation starts at column 52
    auto reply = ReadMarkList(kSmith + "\n", "H-A-0");
    ASSERT_EQ(ReplyOutcome::Marks, reply.outcome);
    ASSERT_EQ(1u, reply.records.size());
    const auto& r = reply.records[0];
    EXPECT_EQ("AB1234", r.pid);
    EXPECT_EQ("2", r.horizontalOrder);
    EXPECT_EQ("1", r.verticalOrder);
    EXPECT_EQ("N", r.latitudeHemisphere);
    EXPECT_EQ("385323", r.latitudeText);
    EXPECT_EQ("W", r.longitudeHemisphere);
    EXPECT_EQ("0770213", r.longitudeText);
    EXPECT_EQ("SMITH", r.designation);
}

TEST(ReadMarkList, ShortLinesGiveEmptyOrShortFields)
{
    struct Row {
        const char* name;
        std::string line;
        const char* longitudeText;
        const char* designation;
    };
    const Row rows[] = {
        {"51 characters: no designation", kSmith.substr(0, 51), "0770213", ""},
        {"40 characters: longitude cut to 2", kSmith.substr(0, 40), "07", ""},
        {"CR LF line end: CR ends the designation", kSmith + "\r", "0770213", "SMITH\r"},
        {"blanks in the designation kept", kSmith + "  ", "0770213", "SMITH  "},
    };
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.line + "\n", "");
        ASSERT_EQ(1u, reply.records.size()) << row.name;
        EXPECT_EQ(row.longitudeText, reply.records[0].longitudeText) << row.name;
        EXPECT_EQ(row.designation, reply.records[0].designation) << row.name;
    }

    auto fourCharacters = ReadMarkList("abc.", "");
    ASSERT_EQ(1u, fourCharacters.records.size());
    EXPECT_EQ(MarkRecord{}.pid, fourCharacters.records[0].pid);
    EXPECT_EQ("", fourCharacters.records[0].latitudeText);
    EXPECT_EQ("", fourCharacters.records[0].designation);
}

TEST(ReadMarkList, ThreeOutcomes)
{
    struct Row {
        const char* name;
        std::string reply;
        ReplyOutcome outcome;
        std::size_t records;
        const char* message;
    };
    const Row rows[] = {
        {"input error even with marks after", "INPUT ERROR: bad county\n" + kSmith, ReplyOutcome::InputError,
         0, "INPUT ERROR: bad county"},
        {"input error without line feed", "INPUT ERR", ReplyOutcome::InputError, 0, "INPUT ERR"},
        {"eight letters are not the prefix", "INPUT ER\n", ReplyOutcome::NoMarks, 0, ""},
        {"lower case is not the prefix", "input err\n" + kSmith, ReplyOutcome::Marks, 1, ""},
        {"companion's input error is skipped", kSmith + "\nINPUT ERR x\n" + kSmith, ReplyOutcome::Marks, 2,
         ""},
        {"empty reply", "", ReplyOutcome::NoMarks, 0, ""},
        {"header and blank lines only", "PID list\n\n   \n  x\n", ReplyOutcome::NoMarks, 0, ""},
        {"point in another column", " 1  . AB1234\n12.345\n", ReplyOutcome::NoMarks, 0, ""},
        {"single mark without line feed", kSmith, ReplyOutcome::Marks, 1, ""},
        {"text after the last line feed is a line", "head\n   .  XY", ReplyOutcome::Marks, 1, ""},
        {"duplicates are not merged", kSmith + "\n" + kSmith + "\n", ReplyOutcome::Marks, 2, ""},
    };
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.reply, "H-0-0");
        EXPECT_EQ(row.outcome, reply.outcome) << row.name;
        EXPECT_EQ(row.records, reply.records.size()) << row.name;
        EXPECT_EQ(row.message, reply.message) << row.name;
    }
}

TEST(ReadMarkList, OrderCodeRulesOfTheControlType)
{
    const std::string reply =
        kSmith + "\n" + MarkLine("CD5678", ' ', '2', "N385323", "W0770213", "X") + "\nabc.\n";
    struct Row {
        const char* name;
        const char* code;
        std::vector<std::string> horizontal;
        std::vector<std::string> vertical;
    };
    const Row rows[] = {
        {"CORS: every mark a star, blank or missing column too", "COR-0", {"S", "S", "S"}, {"1", "2", ""}},
        {"vertical: no horizontal order", "V-1-0", {"", "", ""}, {"1", "2", ""}},
        {"vertical GPS too", "V-G-0", {"", "", ""}, {"1", "2", ""}},
        {"horizontal: as read (vertical blanked later)", "H-0-0", {"2", " ", ""}, {"1", "2", ""}},
        {"case matters", "cor-0", {"2", " ", ""}, {"1", "2", ""}},
        {"no code yet", "", {"2", " ", ""}, {"1", "2", ""}},
    };
    for (const auto& row : rows) {
        auto result = ReadMarkList(reply, row.code);
        ASSERT_EQ(3u, result.records.size()) << row.name;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(row.horizontal[i], result.records[i].horizontalOrder) << row.name << " #" << i;
            EXPECT_EQ(row.vertical[i], result.records[i].verticalOrder) << row.name << " #" << i;
        }
    }
}

TEST(ReadMarkList, NoSixteenBitLimit)
{
    // The old reader overflowed past 32767 lines; a state-wide reply can hold more.
    constexpr std::size_t kMarks = 40000;
    std::string reply;
    for (std::size_t i = 0; i < kMarks; ++i)
        reply += kSmith + "\r\n";
    auto result = ReadMarkList(reply, "");
    ASSERT_EQ(kMarks, result.records.size());
    EXPECT_EQ("SMITH\r", result.records.back().designation);
}

} // namespace
} // namespace tervane
