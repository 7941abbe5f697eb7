#include "marks/MarkList.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

#include <iterator>
#include <tuple>

namespace tervane {
namespace {

using testing::MarkLine;

const std::string kSmith = MarkLine("AB1234", "N385323", "W0770213", "SMITH");

// Every record's fields, '|' between fields, ' ' between records. The order codes follow
// the control type: CORS marks all show a star, vertical types no horizontal order.
TEST(ReadMarkList, FieldsFromTheirColumnsAndTheOrderCodeRules)
{
    const std::string orders = kSmith.substr(0, 16) + "\n" +
                               MarkLine("CD5678", "N385323", "W0770213", "X", ' ', '2').substr(0, 16) +
                               "\nabc.\n";
    const std::tuple<const char*, std::string, const char*, const char*> rows[] = {
        {"whole line", kSmith, "", "AB1234|2|1|N|385323|W|0770213|SMITH"},
        {"40 characters: longitude cut to 2", kSmith.substr(0, 40), "", "AB1234|2|1|N|385323|W|07|"},
        {"HORIZONTAL: as read, a field past the end empty", orders, "H-0-0",
         "AB1234|2|1||||| CD5678| |2||||| |||||||"},
        {"CORS: every mark a star, a blank or missing column too", orders, "COR-0",
         "AB1234|S|1||||| CD5678|S|2||||| |S||||||"},
        {"vertical: no horizontal order", orders, "V-1-0", "AB1234||1||||| CD5678||2||||| |||||||"},
        {"codes compare exactly", orders, "cor-0", "AB1234|2|1||||| CD5678| |2||||| |||||||"},
    };
    for (const auto& [name, reply, code, expected] : rows) {
        std::string fields;
        for (const MarkRecord& r : ReadMarkList(reply, code).records) {
            fields += fields.empty() ? "" : " ";
            fields += r.pid;
            for (std::string_view field :
                 {r.horizontalOrder, r.verticalOrder, r.latitudeHemisphere, r.latitudeText,
                  r.longitudeHemisphere, r.longitudeText, r.designation})
                (fields += '|') += field;
        }
        EXPECT_EQ(expected, fields) << name;
    }
}

TEST(ReadMarkList, ThreeOutcomes)
{
    const std::tuple<const char*, std::string, ReplyOutcome, std::size_t, const char*> rows[] = {
        {"input error even with marks after", "INPUT ERROR: bad county\n" + kSmith, ReplyOutcome::InputError,
         0, "INPUT ERROR: bad county"},
        {"only a first line in capitals is an input error; duplicates kept",
         "input err\n" + kSmith + "\nINPUT ERR x\n" + kSmith, ReplyOutcome::Marks, 2, ""},
        {"header, blank lines, a point in another column", "PID list\n\n  x\n 1  . AB1234\n12.345\n",
         ReplyOutcome::NoMarks, 0, ""},
        {"text after the last line feed is a line", "head\n   .  XY", ReplyOutcome::Marks, 1, ""},
    };
    for (const auto& [name, text, outcome, records, message] : rows) {
        auto reply = ReadMarkList(text, "H-0-0");
        EXPECT_EQ(outcome, reply.outcome) << name;
        EXPECT_EQ(records, reply.records.size()) << name;
        EXPECT_EQ(message, reply.message) << name;
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
    const auto last = std::next(result.records.begin(), kMarks - 1); // the count, walked
    EXPECT_EQ("SMITH\r", last->designation);
    EXPECT_EQ(result.records.end(), std::next(last));
}

} // namespace
} // namespace tervane
