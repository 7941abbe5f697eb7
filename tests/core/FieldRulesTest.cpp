// The query fields' character rules, shared by the window's key filter and tervane-cli.

#include "retrieval/FieldRules.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// One row per field: each character typed, and what the field makes of it ('-': refused).
// The refused ones sit next to the taken ones: '/' and ':' around the digits, '@' '['
// '`' '{' around the letters, a point, blanks, control codes, letters outside ASCII.
TEST(FieldRules, EachFieldTakesItsCharactersCapitalisesAndRefusesTheRest)
{
    const struct {
        FilteredField field;
        std::u32string_view typed;
        std::u32string_view taken;
    } rows[] = {
        {FilteredField::Latitude, U"09NnSsEeWw./:", U"09NNSS-------"},
        {FilteredField::Longitude, U"09EeWwNnSs.", U"09EEWW-----"},
        {FilteredField::Radius, U"09.,mM /:", U"09.------"},
        {FilteredField::Project, U"09AaZz@[`{./:-", U"09AAZZ--------"},
        {FilteredField::ControlType, U"AaZz &\x03\x16\x7f\u00e9\u00c9", U"AAZZ-------"},
    };
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.typed.size(); ++i)
            EXPECT_EQ(row.taken.at(i), FieldCharacter(row.field, row.typed[i]).value_or(U'-'))
                << "field/code " << static_cast<int>(row.field) << '/' << static_cast<unsigned>(row.typed[i]);
}

TEST(FieldRules, TheStateCodeIsTheFirstTwoCharactersNeverHalfOfOne)
{
    // Cut by characters, UTF-8 encoded: two of two bytes each, one of three.
    const std::pair<const char*, const char*> rows[] = {
        {"VA Virginia", "VA"},
        {"V", "V"},
        {" VA", " V"}, // untrimmed
        {"\303\204\303\226X", "\303\204\303\226"},
        {"\342\202\254AB", "\342\202\254A"},
    };
    for (const auto& [text, code] : rows)
        EXPECT_EQ(code, StateCode(text)) << text;
}

} // namespace
} // namespace tervane
