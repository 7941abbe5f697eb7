#include "calcs/LeadingValue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

namespace tervane {
namespace {

TEST(LeadingValue, ReadsTheNumberAtTheStart)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // Found with the fuzz target's comparison with strtod: the exponent was read only up
    // to 100000, so a mantissa of more digits than that outweighed any exponent and the
    // value came out on the wrong side, infinite for a vanishing number and the reverse.
    const std::string manyDigits(100005, '0');
    const struct {
        const char* name;
        std::string text;
        double value;
    } rows[] = {
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
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(row.value, LeadingValue(row.text)) << row.name;
    for (const char* text : {"", "   ", ".", "-", "+", "-.", "abc", "e5", "N385323", "\r5"})
        EXPECT_EQ(0.0, LeadingValue(text)) << '"' << text << '"';
}

TEST(LeadingValue, IgnoresTheLocaleDecimalComma)
{
    // setlocale hands back the new locale's name: copy the old one before changing it.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)";
    const double value = LeadingValue("2.5");
    const double comma = LeadingValue("2,5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(2.5, value);
    EXPECT_DOUBLE_EQ(2.0, comma);
}

} // namespace
} // namespace tervane
