#pragma once

// What the query fields take, the same in the window and in tervane-cli: the window
// applies the rules to each typed character, the command-line tool to each option's
// whole value, so that a command line cannot send what the window could not (an "&"
// that adds a query key, a "/" that moves the KML file out of its folder).
//
//   | field          | taken as typed | made capital | otherwise |
//   | cboControlType | 0-9, A-Z       | a-z          | refused   |
//   | txtProject     | 0-9, A-Z       | a-z          | refused   |
//   | txtLatitude    | 0-9, N, S      | n, s         | refused   |
//   | txtLongitude   | 0-9, E, W      | e, w         | refused   |
//   | txtRadius      | 0-9, .         | -            | refused   |
//
// Everything else is refused: blanks, control characters, letters outside ASCII. No
// field has a length limit. The state box takes any text; its first two characters are
// the state code.

#include <optional>
#include <string>
#include <string_view>

namespace tervane {

enum class FilteredField { ControlType, Project, Latitude, Longitude, Radius };

// What `typed` becomes in `field`: itself, its capital, or nullopt when the field
// refuses it.
std::optional<char32_t> FieldCharacter(FilteredField field, char32_t typed);

// Applies FieldCharacter to every byte of `text`, in place. False at the first byte the
// field refuses; the bytes before it are already turned into capitals then.
bool ApplyFieldRule(FilteredField field, std::string& text);

// The state code of a state box text: its first two characters, or the whole text when
// it is shorter. A character outside ASCII counts as one, never cut in two (UTF-8).
std::string StateCode(std::string_view stateText);

} // namespace tervane
