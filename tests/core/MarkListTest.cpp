#include "marks/MarkList.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

using testing::MarkLine;

const std::string kSmith = MarkLine("AB1234", "N385323", "W0770213", "SMITH");

TEST(ReadMarkList, FieldsFromTheirColumnsShortLinesGiveShortFields)
{
    const struct {
        const char* name;
        std::string line;
        const char* fields;
    } rows[] = {
        {"whole line", kSmith, "AB1234|2|1|N|385323|W|0770213|SMITH"},
        {"40 characters: longitude cut to 2", kSmith.substr(0, 40), "AB1234|2|1|N|385323|W|07|"},
        {"four characters: all empty", "abc.", "|||||||"},
    };
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.line + "\n", "");
        ASSERT_EQ(1u, reply.records.size()) << row.name;
        const MarkRecord r = reply.records.front();
        std::string fields(r.pid);
        for (std::string_view field : {r.horizontalOrder, r.verticalOrder, r.latitudeHemisphere,
                                       r.latitudeText, r.longitudeHemisphere, r.longitudeText, r.designation})
            (fields += '|') += field;
        EXPECT_EQ(row.fields, fields) << row.name;
    }
}

TEST(ReadMarkList, ThreeOutcomes)
{
    const struct {
        const char* name;
        std::string reply;
        ReplyOutcome outcome;
        std::size_t records;
        const char* message;
    } rows[] = {
        {"input error even with marks after", "INPUT ERROR: bad county\n" + kSmith, ReplyOutcome::InputError,
         0, "INPUT ERROR: bad county"},
        {"lower case is not the prefix", "input err\n" + kSmith, ReplyOutcome::Marks, 1, ""},
        {"companion's input error is skipped, duplicates kept", kSmith + "\nINPUT ERR x\n" + kSmith,
         ReplyOutcome::Marks, 2, ""},
        {"empty reply", "", ReplyOutcome::NoMarks, 0, ""},
        {"header, blank lines, a point in another column", "PID list\n\n  x\n 1  . AB1234\n12.345\n",
         ReplyOutcome::NoMarks, 0, ""},
        {"text after the last line feed is a line", "head\n   .  XY", ReplyOutcome::Marks, 1, ""},
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
        kSmith + "\n" + MarkLine("CD5678", "N385323", "W0770213", "X", ' ', '2') + "\nabc.\n";
    const struct {
        const char* name;
        const char* code;
        const char* orders; // horizontal/vertical of each mark
    } rows[] = {
        {"CORS: every mark a star, blank or missing column too", "COR-0", "S/1 S/2 S/"},
        {"vertical: no horizontal order", "V-1-0", "/1 /2 /"},
        {"horizontal: as read (vertical blanked as the placemarks are written)", "H-0-0", "2/1  /2 /"},
        {"case matters", "cor-0", "2/1  /2 /"},
    };
    for (const auto& row : rows) {
        std::string orders;
        for (const auto& record : ReadMarkList(reply, row.code).records)
            (((orders += orders.empty() ? "" : " ") += record.horizontalOrder) += '/') +=
                record.verticalOrder;
        EXPECT_EQ(row.orders, orders) << row.name;
    }
}

TEST(ReadMarkList, NoSixteenBitLimit)
{
    // The old reader overflowed past 32767 lines; a state-wide reply can hold more. The CR
    // of a CR LF line end stays in the designation.
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
