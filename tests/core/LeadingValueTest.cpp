#include "calcs/LeadingValue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace tervane {
namespace {

struct Row {
    const char* name;
    const char* text;
    double value;
};

TEST(LeadingValue, ReadsTheNumberAtTheStart)
{
    const Row rows[] = {
        {"plain", "30", 30},
        {"leading zeros of a FIPS code", "059", 59},
        {"zeros only", "000", 0},
        {"trailing text ignored", "12abc", 12},
        {"blanks inside join digits", " 1 2\t3\n", 123},
        {"blank between sign and digits", "- 5", -5},
        {"plus sign", "+7", 7},
        {"decimal point", "30.01", 30.01},
        {"second point ends the number", "1.2.3", 1.2},
        {"number followed by a lone point", "7.", 7},
        {"leading point", ".5", 0.5},
        {"E exponent", "1E2", 100},
        {"D exponent", "1D2", 100},
        {"lower-case exponent with sign", "25e-1", 2.5},
        {"exponent without digits is ignored", "3e", 3},
        {"exponent sign without digits is ignored", "3e+x", 3},
        {"comma is not a decimal point", "2,5", 2},
    };
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(row.value, LeadingValue(row.text)) << row.name;
}

TEST(LeadingValue, TextsWithoutLeadingNumberGiveZero)
{
    for (const char* text : {"", "   ", ".", "-", "+", "-.", "abc", "e5", "N385323", "\r5"})
        EXPECT_EQ(0.0, LeadingValue(text)) << '"' << text << '"';
}

TEST(LeadingValue, HugeAndTinyValuesDoNotFail)
{
    EXPECT_TRUE(std::isinf(LeadingValue("1e400")));
    EXPECT_LT(LeadingValue("-1e400"), 0);
    EXPECT_EQ(0.0, LeadingValue("1e-400"));
    EXPECT_EQ(0.0, LeadingValue("0." + std::string(400, '0') + "1"));
    EXPECT_TRUE(std::isinf(LeadingValue(std::string(400, '9'))));
    EXPECT_TRUE(std::isinf(LeadingValue("5e99999999999999999999"))); // exponent past any int

    // Found with the fuzz target's comparison with strtod: the exponent was read only up
    // to 100000, so a mantissa of more digits than that outweighed any exponent and the
    // value came out on the wrong side, infinite for a vanishing number and the reverse.
    const std::string manyDigits(100005, '0');
    EXPECT_EQ(0.0, LeadingValue("1" + manyDigits + "e-1000000000"));
    EXPECT_TRUE(std::isinf(LeadingValue("0." + manyDigits + "1e1000000000")));
}

TEST(LeadingValue, IgnoresTheLocaleDecimalComma)
{
    const char* old = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_DOUBLE_EQ(2.5, LeadingValue("2.5"));
    std::setlocale(LC_NUMERIC, old ? old : "C");
}

} // namespace
} // namespace tervane
