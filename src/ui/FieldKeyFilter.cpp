#include "ui/FieldKeyFilter.h"

namespace tervane {

namespace {

constexpr char32_t kCaseOffset = U'a' - U'A';

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsCapital(char32_t c) { return c >= U'A' && c <= U'Z'; }
bool IsSmall(char32_t c) { return c >= U'a' && c <= U'z'; }

// Whether the field takes this capital letter (and so its small form, made capital).
bool AcceptsLetter(FilteredField field, char32_t capital)
{
    switch (field) {
    case FilteredField::ControlType:
    case FilteredField::Project:
        return IsCapital(capital);
    case FilteredField::Latitude:
        return capital == U'N' || capital == U'S';
    case FilteredField::Longitude:
        return capital == U'E' || capital == U'W';
    case FilteredField::Radius:
        return false;
    }
    return false;
}

} // namespace

KeyVerdict FilterTypedCharacter(FilteredField field, char32_t typed)
{
    if (typed == kKeyEnter) {
        return {KeyAction::MoveFocus, 0};
    }
    if (typed == kKeyBackspace || typed == 0 || IsDigit(typed)) {
        return {KeyAction::Pass, typed};
    }
    if (field == FilteredField::Radius && typed == U'.') {
        return {KeyAction::Pass, typed};
    }
    if (IsCapital(typed) && AcceptsLetter(field, typed)) {
        return {KeyAction::Pass, typed};
    }
    if (IsSmall(typed) && AcceptsLetter(field, typed - kCaseOffset)) {
        return {KeyAction::Replace, typed - kCaseOffset};
    }
    return {KeyAction::Reject, 0};
}

} // namespace tervane
