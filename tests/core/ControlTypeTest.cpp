#include "retrieval/ControlType.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

// Enough names for the companion rule (H codes but the GPS one); the full name table is
// data, not behaviour.
TEST(ControlType, DisplayNamesMapToCodesAndCompanions)
{
    struct Row {
        const char* displayName;
        const char* code;
        bool companion;
    };
    // clang-format off
    const Row rows[] = {
        {"HORIZONTAL", "H-0-0", true},
        {"HORIZONTAL A", "H-A-0", true},
        {"GPS", "H-G", false},
        {"CORS", "COR-0", false},
    };
    // clang-format on
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
