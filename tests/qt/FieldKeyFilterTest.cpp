// The window's own keys; which characters each field takes is FieldRulesTest's, and the
// keys that type no character are MainWindowKeys'.

#include "ui/FieldKeyFilter.h"

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

TEST(FieldKeyFilter, EnterMovesOnBackspaceAndCodeZeroPass)
{
    EXPECT_EQ(KeyAction::MoveFocus, FilterTypedCharacter(FilteredField::Radius, kKeyEnter).action);
    EXPECT_EQ(KeyAction::Pass, FilterTypedCharacter(FilteredField::Radius, kKeyBackspace).action);
    EXPECT_EQ(KeyAction::Pass, FilterTypedCharacter(FilteredField::Radius, 0).action);
}

} // namespace
} // namespace tervane::test
