#include "marks/MarkList.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// A mark line as the service lays it out; the unread columns hold plausible filler.
std::string MarkLine(const std::string& pid, char horizontal, char vertical, const std::string& latitude,
                     const std::string& longitude, const std::string& designation)
{
    return "  1.  " + pid + " " + horizontal + " " + vertical + " GPS 19870101" + latitude + " " + longitude +
           " 1234 " + designation;
}

std::string Fields(const MarkRecord& r)
{
    std::string fields(r.pid);
    for (std::string_view field : {r.horizontalOrder, r.verticalOrder, r.latitudeHemisphere, r.latitudeText,
                                   r.longitudeHemisphere, r.longitudeText, r.designation})
        (fields += '|') += field;
    return fields;
}

const std::string kSmith = MarkLine("AB1234", '2', '1', "N385323", "W0770213", "SMITH");

TEST(ReadMarkList, FieldsFromTheirColumnsShortLinesGiveShortFields)
{
    ASSERT_EQ(51u, kSmith.size() - 5); // designation starts at column 52
    struct Row {
        const char* name;
        std::string line;
        const char* fields;
    };
    // clang-format off
    const Row rows[] = {
        {"whole line", kSmith, "AB1234|2|1|N|385323|W|0770213|SMITH"},
        {"CR LF line end: CR ends the designation, blanks kept", kSmith + "  \r", "AB1234|2|1|N|385323|W|0770213|SMITH  \r"},
        {"51 characters: no designation", kSmith.substr(0, 51), "AB1234|2|1|N|385323|W|0770213|"},
        {"40 characters: longitude cut to 2", kSmith.substr(0, 40), "AB1234|2|1|N|385323|W|07|"},
        {"four characters: all empty", "abc.", "|||||||"},
    };
    // clang-format on
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.line + "\n", "");
        ASSERT_EQ(1u, reply.records.size()) << row.name;
        EXPECT_EQ(row.fields, Fields(reply.records.front())) << row.name;
    }
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
    // clang-format off
    const Row rows[] = {
        {"input error even with marks after", "INPUT ERROR: bad county\n" + kSmith, ReplyOutcome::InputError, 0, "INPUT ERROR: bad county"},
        {"input error without line feed", "INPUT ERR", ReplyOutcome::InputError, 0, "INPUT ERR"},
        {"eight letters are not the prefix", "INPUT ER\n", ReplyOutcome::NoMarks, 0, ""},
        {"lower case is not the prefix", "input err\n" + kSmith, ReplyOutcome::Marks, 1, ""},
        {"companion's input error is skipped, duplicates kept", kSmith + "\nINPUT ERR x\n" + kSmith, ReplyOutcome::Marks, 2, ""},
        {"empty reply", "", ReplyOutcome::NoMarks, 0, ""},
        {"header and blank lines only", "PID list\n\n   \n  x\n", ReplyOutcome::NoMarks, 0, ""},
        {"point in another column", " 1  . AB1234\n12.345\n", ReplyOutcome::NoMarks, 0, ""},
        {"text after the last line feed is a line", "head\n   .  XY", ReplyOutcome::Marks, 1, ""},
    };
    // clang-format on
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
        const char* orders; // horizontal/vertical of each mark
    };
    // clang-format off
    const Row rows[] = {
        {"CORS: every mark a star, blank or missing column too", "COR-0", "S/1 S/2 S/"},
        {"vertical: no horizontal order", "V-1-0", "/1 /2 /"},
        {"horizontal: as read (vertical blanked later)", "H-0-0", "2/1  /2 /"},
        {"case matters", "cor-0", "2/1  /2 /"},
    };
    // clang-format on
    for (const auto& row : rows) {
        std::string orders;
        for (const auto& record : ReadMarkList(reply, row.code).records)
            (((orders += orders.empty() ? "" : " ") += record.horizontalOrder) += '/') += record.verticalOrder;
        EXPECT_EQ(row.orders, orders) << row.name;
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
