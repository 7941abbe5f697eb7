#include "retrieval/ControlType.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// The whole table: a mistyped code would be sent to the service and name the file.
TEST(ControlType, DisplayNamesMapToCodesAndCompanions)
{
    const struct {
        const char* displayName;
        const char* code;
        bool companion;
    } rows[] = {
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
    for (const auto& row : rows) {
        std::string code;
        EXPECT_TRUE(LookupControlCode(code, row.displayName)) << row.displayName;
        EXPECT_EQ(row.code, code) << row.displayName;
        EXPECT_EQ(row.companion, HasGpsCompanion(code)) << row.displayName;
    }
    for (const char* text : {"", "horizontal", "HORIZONTAL ", " GPS", "H-0-0"}) {
        std::string code = "TID-0";
        EXPECT_FALSE(LookupControlCode(code, text)) << '"' << text << '"';
        EXPECT_EQ("TID-0", code) << '"' << text << '"';
    }
}

} // namespace
} // namespace tervane
