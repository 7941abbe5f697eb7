#include "calcs/Angles.h"

#include "calcs/LeadingValue.h"
#include "text/Trim.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace tervane {

namespace {

constexpr double kHalfTurnDegrees = 180;
constexpr double kMinutesPerDegree = 60;
constexpr double kSecondsPerMinute = 60;
constexpr double kSecondsPerDegree = 3600;

// Without a separator the last four characters are minutes and seconds, two each.
constexpr std::size_t kCompactTailLength = 4;
constexpr std::size_t kFieldWidth = 2;
// A point at this position or later stands inside the seconds (DDMMSS.s); earlier it
// ends the degrees (DD.MMSSs).
constexpr std::size_t kSecondsPointPosition = 6;

// Tried in this order; the first found at position 2 or later wins, so "38-53 23" splits
// at '-' and keeps "53 23" together as the minutes.
constexpr std::array<char, 5> kSeparators{'-', ' ', ',', ':', '.'};

bool HasForbiddenCharacter(std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '*':
        case '#':
        case '(':
        case ')':
            return true;
        default:
            break;
        }
    }
    // Only the first '+' is judged: "+12+5" passes, "12+5" does not.
    auto plus = text.find('+');
    return plus != std::string_view::npos && plus != 0;
}

// Characters [from, from + count) of text, cut short at its end; empty past it.
std::string_view Cut(std::string_view text, std::size_t from, std::size_t count = std::string_view::npos)
{
    return from >= text.size() ? std::string_view() : text.substr(from, count);
}

std::string InvalidAngle(std::string_view text)
{
    std::string message(kMsgInvalidAnglePrefix);
    message += text;
    message += kMsgAngleSuffix;
    return message;
}

std::string InvalidField(std::string_view prefix, std::string_view field)
{
    std::string message(prefix);
    message += field;
    message += kMsgFieldSuffix;
    return message;
}

// Views into the angle text, except for seconds that had their point put back.
struct DmsFields {
    std::string_view degrees;
    std::string_view minutes;
    std::string_view seconds;
    std::string secondsStorage;
};

// Splits at every occurrence of `separator`; pieces after the third are ignored.
void SplitAt(std::string_view text, char separator, DmsFields& fields)
{
    std::array<std::string_view*, 3> pieces{&fields.degrees, &fields.minutes, &fields.seconds};
    std::size_t start = 0;
    for (auto* piece : pieces) {
        auto end = text.find(separator, start);
        *piece = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
}

void SplitAtPoint(std::string_view text, std::size_t point, DmsFields& fields)
{
    // `point` counts from 0 here; the layout comments count from 1.
    if (point + 1 < kSecondsPointPosition) {
        // DD.MMSSs: the seconds' own point is put back between its digits and decimals.
        fields.degrees = text.substr(0, point);
        fields.minutes = Cut(text, point + 1, kFieldWidth);
        fields.secondsStorage = Cut(text, point + 3, kFieldWidth);
        fields.secondsStorage += '.';
        fields.secondsStorage += Cut(text, point + 5);
        fields.seconds = fields.secondsStorage;
        return;
    }
    // DDMMSS.s: the two digits before the minutes' two are the degrees' last ones.
    fields.degrees = text.substr(0, point - 4);
    fields.minutes = text.substr(point - 4, kFieldWidth);
    fields.seconds = text.substr(point - 2);
}

// LeadingValue, with a shortcut for the usual field of plain digits, which reads the
// same (any integer of up to fifteen digits is exact in a double) without its copying.
double FieldValue(std::string_view field)
{
    constexpr std::size_t kExactDigits = 15;
    if (field.empty() || field.size() > kExactDigits)
        return LeadingValue(field);
    unsigned long long value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return LeadingValue(field);
        value = value * 10 + static_cast<unsigned long long>(c - '0');
    }
    return static_cast<double>(value);
}

// Each character's rank in kSeparators, or kNotSeparator.
constexpr std::uint8_t kNotSeparator = 0xFF;
constexpr std::array<std::uint8_t, 256> kSeparatorRank = [] {
    std::array<std::uint8_t, 256> rank{};
    rank.fill(kNotSeparator);
    for (std::size_t k = 0; k < kSeparators.size(); ++k)
        rank[static_cast<unsigned char>(kSeparators[k])] = static_cast<std::uint8_t>(k);
    return rank;
}();

char FindSeparator(std::string_view text)
{
    // The earliest-listed candidate found at position 2 or later. A candidate whose
    // first occurrence is position 1 is no separator, even when it occurs again later:
    // a second '-' there belongs to the degrees.
    std::uint8_t best = kNotSeparator;
    for (std::size_t i = 1; i < text.size(); ++i) {
        std::uint8_t rank = kSeparatorRank[static_cast<unsigned char>(text[i])];
        if (rank < best && text[i] != text[0])
            best = rank;
    }
    return best == kNotSeparator ? 0 : kSeparators[best];
}

} // namespace

double DegToRad(double degrees)
{
    return degrees * kPi / kHalfTurnDegrees;
}

double RadToDeg(double radians)
{
    return radians / kPi * kHalfTurnDegrees;
}

bool ParseDmsAngle(std::string_view& text, double& angle, std::string& error)
{
    angle = 0;
    error.clear();

    text = TrimSpaces(text);
    if (HasForbiddenCharacter(text)) {
        error = InvalidAngle(text);
        return false;
    }

    bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);

    const char separator = FindSeparator(text);

    DmsFields fields;
    const std::string_view view = text;
    if (separator == 0) {
        if (view.size() <= kCompactTailLength) {
            error = InvalidAngle(text);
            return false;
        }
        auto degreesLength = view.size() - kCompactTailLength;
        fields.degrees = view.substr(0, degreesLength);
        fields.minutes = view.substr(degreesLength, kFieldWidth);
        fields.seconds = view.substr(degreesLength + kFieldWidth);
    } else if (separator == '.') {
        SplitAtPoint(view, view.find('.'), fields);
    } else {
        SplitAt(view, separator, fields);
    }

    double degrees = FieldValue(fields.degrees);
    double minutes = FieldValue(fields.minutes);
    double seconds = FieldValue(fields.seconds);
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
    double radians = DegToRad(negative ? -value : value);
    // No lower bound is checked, so a field like "-1e999" is infinite already, and one
    // like "-1e308" overflows when multiplied by pi. Neither is an angle.
    if (!std::isfinite(radians)) {
        error = InvalidAngle(text);
        return false;
    }
    angle = radians;
    return true;
}

} // namespace tervane
