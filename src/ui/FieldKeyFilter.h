#pragma once

// What the main window's filtered fields do with a typed character. The window sees
// each character before the field; the fields' character rules (FieldRules.h) and the
// keys below decide, the window carries them out.
//
//   | typed                 | action                             |
//   | Enter (13)            | focus moves on to the next control |
//   | Backspace (8), code 0 | passes                             |
//   | taken by the field    | passes, or its capital instead     |
//   | anything else         | beep, dropped                      |
//
// Control characters such as those Ctrl+C, Ctrl+V and Ctrl+X type are "anything else",
// so copying and pasting by keyboard does not work in these fields; spaces are too, so
// list entries with blanks can only be picked.

#include "retrieval/FieldRules.h"

namespace tervane {

enum class KeyAction {
    Pass,      // the field receives the character as typed
    Replace,   // the field receives `character` instead (the capital letter)
    MoveFocus, // the character is dropped and the focus goes to the next control
    Reject,    // the character is dropped with a beep
};

struct KeyVerdict {
    KeyAction action = KeyAction::Reject;
    char32_t character = 0;
};

inline constexpr char32_t kKeyBackspace = 8;
inline constexpr char32_t kKeyEnter = 13;
inline constexpr char32_t kKeyEscape = 27;

KeyVerdict FilterTypedCharacter(FilteredField field, char32_t typed);

} // namespace tervane
