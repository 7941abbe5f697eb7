#include "calcs/Angles.h"

#include "calcs/LeadingValue.h"

#include <array>
#include <cmath>

namespace tervane {

namespace {

constexpr double kHalfTurnDegrees = 180;
constexpr double kFullTurnDegrees = 360;
constexpr double kMinutesPerDegree = 60;
constexpr double kSecondsPerMinute = 60;
constexpr double kSecondsPerDegree = 3600;

// Without a separator the last four characters are minutes and seconds, two each.
constexpr std::size_t kCompactTailLength = 4;
constexpr std::size_t kFieldWidth = 2;
// A point at this position or later stands inside the seconds (DDMMSS.s); earlier it
// ends the degrees (DD.MMSSs).
constexpr std::size_t kSecondsPointPosition = 6;

// Tried in this order; the first found at position 2 or later wins, so "38-53 23" splits at
// '-' and keeps "53 23" together as the minutes.
constexpr std::array<char, 5> kSeparators{'-', ' ', ',', ':', '.'};

void TrimSpaces(std::string& text)
{
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    auto last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
}

bool HasForbiddenCharacter(const std::string& text)
{
    if (text.find_first_of("*#()") != std::string::npos)
        return true;
    auto plus = text.find('+');
    return plus != std::string::npos && plus != 0;
}

// Characters [from, from + count) of text, cut short at its end; empty past it.
std::string Cut(const std::string& text, std::size_t from, std::size_t count = std::string::npos)
{
    return from >= text.size() ? std::string() : text.substr(from, count);
}

std::string InvalidAngle(const std::string& text)
{
    std::string message(kMsgInvalidAnglePrefix);
    message += text;
    message += kMsgAngleSuffix;
    return message;
}

std::string InvalidField(std::string_view prefix, const std::string& field)
{
    std::string message(prefix);
    message += field;
    message += kMsgFieldSuffix;
    return message;
}

struct DmsFields {
    std::string degrees;
    std::string minutes;
    std::string seconds;
};

// Splits at every occurrence of `separator`; pieces after the third are ignored.
DmsFields SplitAt(const std::string& text, char separator)
{
    std::array<std::string, 3> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto end = text.find(separator, start);
        pieces[i] = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {pieces[0], pieces[1], pieces[2]};
}

DmsFields SplitAtPoint(const std::string& text, std::size_t point)
{
    // `point` counts from 0 here; the layout comments count from 1.
    if (point + 1 < kSecondsPointPosition) {
        // DD.MMSSs: the seconds' own point is put back between its digits and decimals.
        return {text.substr(0, point), Cut(text, point + 1, kFieldWidth),
                Cut(text, point + 3, kFieldWidth) + "." + Cut(text, point + 5)};
    }
    // DDMMSS.s: the two digits before the minutes' two are the degrees' last ones.
    return {text.substr(0, point - 4), text.substr(point - 4, kFieldWidth), text.substr(point - 2)};
}

} // namespace

double DegToRad(double degrees) { return degrees * kPi / kHalfTurnDegrees; }

double RadToDeg(double radians) { return radians / kPi * kHalfTurnDegrees; }

bool ParseDmsAngle(std::string& text, double& angle, std::string& error)
{
    angle = 0;
    error.clear();

    TrimSpaces(text);
    if (HasForbiddenCharacter(text)) {
        error = InvalidAngle(text);
        return false;
    }

    bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.erase(0, 1);

    char separator = 0;
    for (char candidate : kSeparators) {
        auto position = text.find(candidate);
        if (position != std::string::npos && position >= 1) {
            separator = candidate;
            break;
        }
    }

    DmsFields fields;
    if (separator == 0) {
        if (text.size() <= kCompactTailLength) {
            error = InvalidAngle(text);
            return false;
        }
        auto degreesLength = text.size() - kCompactTailLength;
        fields = {text.substr(0, degreesLength), text.substr(degreesLength, kFieldWidth),
                  text.substr(degreesLength + kFieldWidth)};
    } else if (separator == '.') {
        fields = SplitAtPoint(text, text.find('.'));
    } else {
        fields = SplitAt(text, separator);
    }

    double degrees = LeadingValue(fields.degrees);
    double minutes = LeadingValue(fields.minutes);
    double seconds = LeadingValue(fields.seconds);
    // Each failing check replaces the last: the message names the last failing field.
    if (degrees >= kFullTurnDegrees)
        error = InvalidField(kMsgInvalidDegreesPrefix, fields.degrees);
    if (minutes >= kMinutesPerDegree)
        error = InvalidField(kMsgInvalidMinutesPrefix, fields.minutes);
    if (seconds >= kSecondsPerMinute)
        error = InvalidField(kMsgInvalidSecondsPrefix, fields.seconds);
    if (!error.empty())
        return false;

    double value = (degrees + minutes / kMinutesPerDegree) + seconds / kSecondsPerDegree;
    // No lower bound is checked, so a field like "-1e999" could still overflow.
    if (!std::isfinite(value)) {
        error = InvalidAngle(text);
        return false;
    }
    angle = DegToRad(negative ? -value : value);
    return true;
}

} // namespace tervane
