#include "calcs/Angles.h"

#include "kml/KmlWriter.h"

#include <gtest/gtest.h>

#include <numbers>

namespace tervane {
namespace {

constexpr double kMark = 38.0 + 53.0 / 60 + 23.0 / 3600; // 38 53 23
constexpr double kMarkHalfSecond = 38.0 + 53.0 / 60 + 23.5 / 3600;

struct Accepted {
    const char* name;
    const char* text;
    double degrees;
};

TEST(ParseDmsAngle, AcceptsEveryLayout)
{
    const Accepted rows[] = {
        {"compact DDMMSS", "385323", kMark},
        {"compact DDDMMSS", "0770213", 77.0 + 2.0 / 60 + 13.0 / 3600},
        {"leading minus", "-385323", -kMark},
        {"leading plus has no effect", "+385323", kMark},
        {"colons", "38:53:23", kMark},
        {"commas", "38,53,23", kMark},
        {"dashes", "38-53-23", kMark},
        {"single spaces", "38 53 23", kMark},
        {"sign then dashes as separators", "-38-53-23", -kMark},
        {"seconds with decimals after DDMMSS", "385323.5", kMarkHalfSecond},
        {"point after the degrees", "38.53235", kMarkHalfSecond},
        {"two spaces leave the minutes empty", "38  53", 38.0 + 53.0 / 3600},
        {"missing seconds", "38 53", 38.0 + 53.0 / 60},
        {"missing minutes and seconds", "38-", 38.0},
        {"point form is not decimal degrees", "38.5", 38.0 + 5.0 / 60},
        {"just below every bound", "359 59 59.99", 359.0 + 59.0 / 60 + 59.99 / 3600},
        {"59 minutes, 59 seconds compact", "385959", 38.0 + 59.0 / 60 + 59.0 / 3600},
        {"plus first passes: degrees '+', minutes 12, seconds +5", "+12+5", 12.0 / 60 + 5.0 / 3600},
        {"blanks around are trimmed", "  385323  ", kMark},
        {"shortest compact text", "10203", 1.0 + 2.0 / 60 + 3.0 / 3600},
    };
    for (const auto& row : rows) {
        std::string text = row.text;
        double angle = 1;
        std::string error = "stale";
        EXPECT_TRUE(ParseDmsAngle(text, angle, error)) << row.name;
        EXPECT_EQ("", error) << row.name;
        EXPECT_NEAR(row.degrees, RadToDeg(angle), 1e-11) << row.name;
    }
}

struct Refused {
    const char* name;
    const char* text;
    const char* message;
};

TEST(ParseDmsAngle, RefusesWithTheOldMessages)
{
    const Refused rows[] = {
        {"degrees only", "38", "<*** Invalid angle - 38 ***>"},
        {"too short for compact", "3853", "<*** Invalid angle - 3853 ***>"},
        {"empty text", "", "<*** Invalid angle -  ***>"},
        {"trailing space trimmed away", "38 ", "<*** Invalid angle - 38 ***>"},
        {"message shows the text without its sign", "-45", "<*** Invalid angle - 45 ***>"},
        {"plus inside", "12+5", "<*** Invalid angle - 12+5 ***>"},
        {"character check comes before the sign", "-12+5", "<*** Invalid angle - -12+5 ***>"},
        {"parenthesis", "1(2", "<*** Invalid angle - 1(2 ***>"},
        {"asterisk", "38*53", "<*** Invalid angle - 38*53 ***>"},
        {"hash", "38#53", "<*** Invalid angle - 38#53 ***>"},
        {"decimal degrees: minutes 75", "38.75", "<*** Invalid minutes input (75) ***>"},
        {"seconds fail last and win", "38.8897", "<*** Invalid seconds input (97.) ***>"},
        {"degrees 360", "360 0 0", "<*** Invalid degrees input (360) ***>"},
        {"compact degrees 360", "3600000", "<*** Invalid degrees input (360) ***>"},
        {"minutes 60", "386023", "<*** Invalid minutes input (60) ***>"},
        {"seconds 60", "385360", "<*** Invalid seconds input (60) ***>"},
        {"minutes and seconds 60: seconds named", "10 60 60", "<*** Invalid seconds input (60) ***>"},
        {"dash wins over space, minutes 5323", "38-53 23", "<*** Invalid minutes input (53 23) ***>"},
        {"fields quoted as cut, blank included", "38- 60-0", "<*** Invalid minutes input ( 60) ***>"},
        {"space wins over colon", "38: 60", "<*** Invalid minutes input (60) ***>"},
        {"degrees too large for a double", "--1e999 0 0", "<*** Invalid angle - -1e999 0 0 ***>"},
        // Found by fuzzing: finite degrees whose radians overflow came back as an
        // accepted infinite angle, and so as "INF" coordinates.
        {"degrees whose radians overflow", "--1e308 0 0", "<*** Invalid angle - -1e308 0 0 ***>"},
        {"degrees and minutes overflow together", "--1.7e308:-1e308", "<*** Invalid angle - -1.7e308:-1e308 ***>"},
    };
    for (const auto& row : rows) {
        std::string text = row.text;
        double angle = 1;
        std::string error;
        EXPECT_FALSE(ParseDmsAngle(text, angle, error)) << row.name;
        EXPECT_EQ(row.message, error) << row.name;
        EXPECT_EQ(0.0, angle) << row.name;
    }
}

TEST(ParseDmsAngle, NormalisesTheCallersText)
{
    struct Row {
        const char* name;
        const char* text;
        const char* after;
    };
    const Row rows[] = {
        {"trimmed and sign removed", "  -38 53 23  ", "38 53 23"},
        {"tabs are not trimmed", "\t385323 ", "\t385323"},
        {"sign removed even when refused later", "-45", "45"},
        {"sign kept when the character check refuses", " -12+5 ", "-12+5"},
        {"second minus stays", "--385323", "-385323"},
    };
    for (const auto& row : rows) {
        std::string text = row.text;
        double angle = 0;
        std::string error;
        ParseDmsAngle(text, angle, error);
        EXPECT_EQ(row.after, text) << row.name;
    }
}

TEST(AngleConversion, UsesTheFifteenDigitPi)
{
    EXPECT_EQ(3.14159265358979, DegToRad(180));
    EXPECT_NE(std::numbers::pi, DegToRad(180));
    EXPECT_EQ(180.0, RadToDeg(3.14159265358979));
    EXPECT_EQ(-90.0, RadToDeg(DegToRad(-90)));
}

TEST(AngleConversion, RoundTripReadsAsItWentInToFifteenDigits)
{
    for (double degrees : {kMark, 77.0 + 2.0 / 60 + 13.0 / 3600, 0.1, 359.999722222222, -12.5})
        EXPECT_EQ(KmlNumber(degrees), KmlNumber(RadToDeg(DegToRad(degrees)))) << degrees;

    std::string text = "385323";
    double angle = 0;
    std::string error;
    ASSERT_TRUE(ParseDmsAngle(text, angle, error));
    EXPECT_EQ("38.8897222222222", KmlNumber(RadToDeg(angle)));
}

} // namespace
} // namespace tervane
