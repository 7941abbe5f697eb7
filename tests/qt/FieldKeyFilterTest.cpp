// The key rules of the filtered fields, character by character, at their edges.

#include "ui/FieldKeyFilter.h"

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

struct KeyRow {
    const char* name;
    FilteredField field;
    char32_t typed;
    KeyAction action;
    char32_t character; // for Pass and Replace
};

TEST(FieldKeyFilter, EachFieldTakesItsCharactersCapitalisesAndRefusesTheRest)
{
    using F = FilteredField;
    using A = KeyAction;
    const KeyRow rows[] = {
        {"Enter moves on", F::Radius, kKeyEnter, A::MoveFocus, 0},
        {"Backspace passes", F::Latitude, kKeyBackspace, A::Pass, kKeyBackspace},
        {"code 0 passes", F::Project, 0, A::Pass, 0},
        {"Ctrl+C is refused", F::ControlType, 3, A::Reject, 0},
        {"Ctrl+V is refused", F::Longitude, 22, A::Reject, 0},
        {"digits at both ends", F::Latitude, U'0', A::Pass, U'0'},
        {"", F::Latitude, U'9', A::Pass, U'9'},
        {"latitude: N passes", F::Latitude, U'N', A::Pass, U'N'},
        {"latitude: s made S", F::Latitude, U's', A::Replace, U'S'},
        {"latitude: E refused", F::Latitude, U'E', A::Reject, 0},
        {"longitude: w made W", F::Longitude, U'w', A::Replace, U'W'},
        {"longitude: N refused", F::Longitude, U'N', A::Reject, 0},
        {"radius: point passes", F::Radius, U'.', A::Pass, U'.'},
        {"radius: comma refused", F::Radius, U',', A::Reject, 0},
        {"radius: letters refused", F::Radius, U'm', A::Reject, 0},
        {"project: a and z made capitals", F::Project, U'a', A::Replace, U'A'},
        {"", F::Project, U'z', A::Replace, U'Z'},
        {"project: point refused", F::Project, U'.', A::Reject, 0},
        {"type: Z passes", F::ControlType, U'Z', A::Pass, U'Z'},
        {"type: space refused", F::ControlType, U' ', A::Reject, 0},
        {"type: ampersand refused", F::ControlType, U'&', A::Reject, 0},
        {"characters next to the letters", F::ControlType, U'@', A::Reject, 0},
        {"", F::ControlType, U'[', A::Reject, 0},
        {"", F::ControlType, U'`', A::Reject, 0},
        {"", F::ControlType, U'{', A::Reject, 0},
        {"letters outside ASCII refused", F::Project, U'\u00e9', A::Reject, 0},
        {"", F::Project, U'\u00c9', A::Reject, 0},
    };
    for (const KeyRow& row : rows) {
        const KeyVerdict verdict = FilterTypedCharacter(row.field, row.typed);
        EXPECT_EQ(verdict.action, row.action) << row.name << " (" << static_cast<unsigned>(row.typed) << ")";
        if (row.action == A::Pass || row.action == A::Replace) {
            EXPECT_EQ(verdict.character, row.character) << row.name;
        }
    }
}

} // namespace
} // namespace tervane::test
