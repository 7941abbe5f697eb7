#pragma once

// Angle arithmetic: degrees and radians, and the reading of degrees-minutes-seconds
// texts such as the mark-list reply gives for every mark's latitude and longitude.
//
// Both conversions use the same fifteen-digit pi, so a value in degrees taken to
// radians and back reads, to fifteen significant digits, as it went in.
//
// ParseDmsAngle accepts the compact form (DDMMSS, DDDMMSS), separated fields and the
// point forms; a missing field counts as 0 and blanks inside a field are skipped:
//
//   "385323"    -> 38 53 23       "38:53:23", "38,53,23", "38-53-23", "38 53 23" -> same
//   "-38-53-23" -> -(38 53 23)    "0770213"  -> 77 02 13
//   "385323.5"  -> 38 53 23.5     "38.53235" -> 38 53 23.5   "38.5" -> 38 05 00
//   "38  53"    -> 38 00 53       "38 53"    -> 38 53 00     "38-"  -> 38 00 00
//
// and refuses:
//
//   "38", "3853", ""       Invalid angle (no separator and fewer than five characters)
//   "12+5", "1(2", "38*53" Invalid angle (forbidden character)
//   "38.75"                minutes 75         "360 0 0"  degrees 360
//   "10 60 60"             seconds 60 (the last failing field is the one named)
//
// The hemisphere is not part of the text; callers apply it.

#include <string>
#include <string_view>

namespace tervane {

// Fifteen significant digits, deliberately not the full double value: the old data was
// produced with this constant and round trips rely on both directions sharing it.
inline constexpr double kPi = 3.14159265358979;

// East-positive longitudes are kept in [kAntimeridian, kAntimeridian + kFullTurnDegrees),
// that is [-180, 180): the antimeridian itself is written as -180, a longitude below it
// is taken a full turn further, and one at 180 or past it a full turn back.
inline constexpr double kFullTurnDegrees = 360;
inline constexpr double kAntimeridian = -180;

inline constexpr std::string_view kMsgInvalidAnglePrefix = "<*** Invalid angle - ";
inline constexpr std::string_view kMsgInvalidDegreesPrefix = "<*** Invalid degrees input (";
inline constexpr std::string_view kMsgInvalidMinutesPrefix = "<*** Invalid minutes input (";
inline constexpr std::string_view kMsgInvalidSecondsPrefix = "<*** Invalid seconds input (";
inline constexpr std::string_view kMsgFieldSuffix = ") ***>";
inline constexpr std::string_view kMsgAngleSuffix = " ***>";

// degrees * pi / 180, multiplying first.
double DegToRad(double degrees);

// radians / pi * 180, dividing first.
double RadToDeg(double radians);

// Reads `text` as degrees, minutes and seconds into `angle` (radians, negative when the
// text starts with '-'; a leading '+' has no effect).
//
// The view `text` is narrowed in place: trimmed of leading and trailing spaces (tabs
// stay) and, once it has passed the character check, without its leading '-' (so a
// second parse of it reads it as positive). The text it views is left as it is.
//
// Returns false with `error` set to one of the "<*** ... ***>" messages and `angle` 0.
// `error` is emptied on entry, so only the last parse's verdict is seen.
bool ParseDmsAngle(std::string_view& text, double& angle, std::string& error);

} // namespace tervane
