// The query fields' character rules, shared by the window's key filter and tervane-cli,
// and the control types' codes.

#include "retrieval/ControlType.h"
#include "retrieval/FieldRules.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tervane {
namespace {

// One row per field: each character typed, and what the field makes of it ('-': refused).
// The refused ones sit next to the taken ones: '/' and ':' around the digits, '@' '['
// '`' '{' around the letters, a point, blanks, control codes, letters outside ASCII.
TEST(FieldRules, EachFieldTakesItsCharactersCapitalisesAndRefusesTheRest)
{
    const std::tuple<FilteredField, std::u32string_view, std::u32string_view> rows[] = {
        {FilteredField::Latitude, U"09NnSsEeWw./:", U"09NNSS-------"},
        {FilteredField::Longitude, U"09EeWwNnSs.", U"09EEWW-----"},
        {FilteredField::Radius, U"09.,mM /:", U"09.------"},
        {FilteredField::Project, U"09AaZz@[`{./:-", U"09AAZZ--------"},
        {FilteredField::ControlType, U"AaZz &\x03\x16\x7f\u00e9\u00c9", U"AAZZ-------"},
    };
    for (const auto& [field, typed, taken] : rows)
        for (std::size_t i = 0; i < typed.size(); ++i)
            EXPECT_EQ(taken.at(i), FieldCharacter(field, typed[i]).value_or(U'-'))
                << "field/code " << static_cast<int>(field) << '/' << static_cast<unsigned>(typed[i]);
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
// The whole table: a mistyped code would be sent to the service and name the file.
TEST(ControlType, DisplayNamesMapToCodesAndCompanions)
{
    const std::tuple<const char*, const char*, bool> rows[] = {
        // clang-format off
        {"HORIZONTAL", "H-0-0", true},        {"HORIZONTAL A", "H-A-0", true},
        {"HORIZONTAL B", "H-B-0", true},      {"HORIZONTAL 1", "H-1-0", true},
        {"HORIZONTAL 2", "H-2-0", true},      {"PACS & SACS", "P-S-0", false},
        {"VERTICAL", "V-0-0", false},         {"VERTICAL 1", "V-1-0", false},
        {"VERTICAL 2", "V-2-0", false},       {"VERTICAL GPS", "V-G-0", false},
        {"CORS", "COR-0", false},             {"GPS", "H-G", false},
        {"GPS HT MOD", "GP2-0", false},       {"WISCONSIN HT MOD", "MOD-0", false},
        {"FBN/CBN", "F-C-0", false},          {"TIDAL", "TID-0", false},
        {"DESTROYED", "D-D-0", false},
        // clang-format on
    };
    for (const auto& [displayName, expected, companion] : rows) {
        std::string code;
        EXPECT_TRUE(LookupControlCode(code, displayName)) << displayName;
        EXPECT_EQ(expected, code) << displayName;
        EXPECT_EQ(companion, HasGpsCompanion(code)) << displayName;
    }
    for (const char* text : {"", "horizontal", "HORIZONTAL ", " GPS", "H-0-0"}) {
        std::string code = "TID-0";
        EXPECT_FALSE(LookupControlCode(code, text)) << '"' << text << '"';
        EXPECT_EQ("TID-0", code) << '"' << text << '"';
    }
}

} // namespace
} // namespace tervane
