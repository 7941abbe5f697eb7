#pragma once

// What the main window's filtered fields do with a typed character. The window sees
// each character before the field; these rules decide, the window carries them out.
//
//   | field          | Enter (13)      | let through     | made capital | otherwise     |
//   | cboControlType | focus moves on  | 0-9, A-Z        | a-z          | beep, dropped |
//   | txtProject     | focus moves on  | 0-9, A-Z        | a-z          | beep, dropped |
//   | txtLatitude    | focus moves on  | 0-9, N, S       | n, s         | beep, dropped |
//   | txtLongitude   | focus moves on  | 0-9, E, W       | e, w         | beep, dropped |
//   | txtRadius      | focus moves on  | 0-9, .          | -            | beep, dropped |
//
// Backspace (8) and code 0 always pass. Control characters such as those Ctrl+C, Ctrl+V
// and Ctrl+X type are "otherwise", so copying and pasting by keyboard does not work in
// these fields; spaces are too, so list entries with blanks can only be picked.

namespace tervane {

enum class FilteredField { ControlType, Project, Latitude, Longitude, Radius };

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
