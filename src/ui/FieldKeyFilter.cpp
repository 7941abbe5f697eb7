#include "ui/FieldKeyFilter.h"

namespace tervane {

KeyVerdict FilterTypedCharacter(FilteredField field, char32_t typed)
{
    if (typed == kKeyEnter) {
        return {KeyAction::MoveFocus, 0};
    }
    if (typed == kKeyBackspace || typed == 0) {
        return {KeyAction::Pass, typed};
    }
    const std::optional<char32_t> taken = FieldCharacter(field, typed);
    if (!taken) {
        return {KeyAction::Reject, 0};
    }
    return {*taken == typed ? KeyAction::Pass : KeyAction::Replace, *taken};
}

} // namespace tervane
