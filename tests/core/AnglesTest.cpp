#include "calcs/Angles.h"
#include "calcs/LeadingValue.h"

#include <gtest/gtest.h>

#include <tuple>

#include <limits>
#include <string>

namespace tervane {
namespace {

constexpr double kMark = 38.0 + 53.0 / 60 + 23.0 / 3600; // 38 53 23
constexpr double kMarkHalfSecond = 38.0 + 53.0 / 60 + 23.5 / 3600;

// Accepted texts carry no message; refused ones leave the angle at 0.
TEST(ParseDmsAngle, AcceptedAndRefusedTexts)
{
    const std::tuple<const char*, const char*, double, const char*> rows[] = {
        // clang-format off
        {"compact DDMMSS", "385323", kMark, ""},
        {"shortest compact text", "10203", 1.0 + 2.0 / 60 + 3.0 / 3600, ""},
        {"too short for compact", "3853", 0, "<*** Invalid angle - 3853 ***>"},
        {"colons", "38:53:23", kMark, ""},
        {"commas", "38,53,23", kMark, ""},
        {"sign then dashes as separators", "-38-53-23", -kMark, ""},
        {"message shows the text without its sign", "-45", 0, "<*** Invalid angle - 45 ***>"},
        {"point after the degrees", "38.53235", kMarkHalfSecond, ""},
        {"decimal degrees: minutes 75", "38.75", 0, "<*** Invalid minutes input (75) ***>"},
        {"seconds fail last and win", "38.8897", 0, "<*** Invalid seconds input (97.) ***>"},
        {"missing seconds", "38 53", 38.0 + 53.0 / 60, ""},
        {"two spaces leave the minutes empty", "38  53", 38.0 + 53.0 / 3600, ""},
        {"just below every bound", "359 59 59.99", 359.0 + 59.0 / 60 + 59.99 / 3600, ""},
        {"degrees 360", "360 0 0", 0, "<*** Invalid degrees input (360) ***>"},
        {"minutes 60", "386023", 0, "<*** Invalid minutes input (60) ***>"},
        {"seconds 60", "385360", 0, "<*** Invalid seconds input (60) ***>"},
        {"dash wins over space, minutes quoted as cut", "38-53 23", 0, "<*** Invalid minutes input (53 23) ***>"},
        {"space wins over colon", "38: 60", 0, "<*** Invalid minutes input (60) ***>"},
        {"plus first passes: degrees '+', minutes 12, seconds +5", "+12+5", 12.0 / 60 + 5.0 / 3600, ""},
        {"plus inside", "12+5", 0, "<*** Invalid angle - 12+5 ***>"},
        {"character check comes before the sign", "-12+5", 0, "<*** Invalid angle - -12+5 ***>"},
        {"forbidden character", "38*53", 0, "<*** Invalid angle - 38*53 ***>"},
        // Found by fuzzing: finite degrees whose radians overflow came back as an
        // accepted infinite angle, and so as "INF" coordinates.
        {"degrees whose radians overflow", "--1e308 0 0", 0, "<*** Invalid angle - -1e308 0 0 ***>"},
        {"degrees and minutes overflow together", "--1.7e308:-1e308", 0, "<*** Invalid angle - -1.7e308:-1e308 ***>"},
        // clang-format on
    };
    for (const auto& [name, given, degrees, message] : rows) {
        std::string_view text = given;
        double angle = 1;
        std::string error = "stale";
        EXPECT_EQ(*message == '\0', ParseDmsAngle(text, angle, error)) << name;
        EXPECT_EQ(message, error) << name;
        EXPECT_NEAR(degrees, RadToDeg(angle), 1e-11) << name;
    }
}
TEST(LeadingValue, ReadsTheNumberAtTheStart)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // Found with the fuzz target's comparison with strtod: the exponent was read only up
    // to 100000, so a mantissa of more digits than that outweighed any exponent and the
    // value came out on the wrong side, infinite for a vanishing number and the reverse.
    const std::string manyDigits(100005, '0');
    const std::tuple<const char*, std::string, double> rows[] = {
        // clang-format off
        {"leading zeros of a FIPS code", "059", 59},
        {"trailing text ignored", "12abc", 12},
        {"blanks inside join digits, even after the sign", "- 1 2\t3\n", -123},
        {"second point ends the number", "1.2.3", 1.2},
        {"D exponent", "1D2", 100},
        {"lower-case exponent with sign", "25e-1", 2.5},
        {"exponent sign without digits is ignored", "3e+x", 3},
        {"comma is not a decimal point", "2,5", 2},
        {"overflow", "1e400", kInf},
        {"underflow", "1e-400", 0},
        {"exponent past any integer", "5e99999999999999999999", kInf},
        {"long mantissa, vanishing exponent", "1" + manyDigits + "e-1000000000", 0},
        {"long fraction, huge exponent", "0." + manyDigits + "1e1000000000", kInf},
        // clang-format on
    };
    for (const auto& [name, text, value] : rows)
        EXPECT_DOUBLE_EQ(value, LeadingValue(text)) << name;
    for (const char* text : {"", "   ", ".", "-", "+", "-.", "abc", "e5", "N385323", "\r5"})
        EXPECT_EQ(0.0, LeadingValue(text)) << '"' << text << '"';
}

} // namespace
} // namespace tervane
