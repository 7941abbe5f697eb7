#include "calcs/LeadingValue.h"

#include <charconv>
#include <limits>
#include <string>

namespace tervane {

namespace {

constexpr long long kExponentLimit = std::numeric_limits<long long>::max() / 100;

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// from_chars leaves the value untouched on overflow and underflow alike. Tell them
// apart by the decimal magnitude of the first significant digit: "1e400" and
// "123...(400 digits)" overflow, "1e-400" and "0.000...(400 zeros)1" underflow.
double OutOfRangeValue(const std::string& number)
{
    auto ePos = number.find('e');
    std::string_view mantissa(number.data(), ePos == std::string::npos ? number.size() : ePos);
    long long exponent = 0;
    if (ePos != std::string::npos) {
        std::size_t j = ePos + 1;
        bool expNegative = j < number.size() && number[j] == '-';
        if (j < number.size() && (number[j] == '-' || number[j] == '+'))
            ++j;
        // Saturates far beyond any magnitude a text in memory can spell, so that even a
        // mantissa of a hundred thousand digits meets an exponent that outweighs it.
        for (; j < number.size(); ++j) {
            if (exponent < kExponentLimit)
                exponent = exponent * 10 + (number[j] - '0');
        }
        if (expNegative)
            exponent = -exponent;
    }
    auto point = mantissa.find('.');
    if (point == std::string_view::npos)
        point = mantissa.size();
    auto firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string_view::npos)
        return 0.0;
    long long magnitude = firstSignificant < point
        ? static_cast<long long>(point - firstSignificant) - 1
        : -static_cast<long long>(firstSignificant - point);
    return magnitude + exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
}

} // namespace

double LeadingValue(std::string_view text)
{
    // Gather the number's characters with the skipped blanks left out, then convert
    // once with from_chars, which ignores the locale.
    std::string number;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && IsSkipped(text[i]))
            ++i;
    };

    skipBlanks();
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool seenPoint = false;
    bool seenDigit = false;
    for (skipBlanks(); i < text.size(); skipBlanks()) {
        char c = text[i];
        if (IsDigit(c)) {
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        number += c;
        ++i;
    }
    if (!seenDigit)
        return 0.0;

    // The exponent counts only when at least one digit follows its letter and sign.
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t save = i;
        ++i;
        skipBlanks();
        std::string exponent = "e";
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponent += text[i];
            ++i;
        }
        bool expDigit = false;
        for (skipBlanks(); i < text.size() && IsDigit(text[i]); skipBlanks()) {
            exponent += text[i];
            expDigit = true;
            ++i;
        }
        if (expDigit)
            number += exponent;
        else
            i = save;
    }

    double value = 0.0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = OutOfRangeValue(number);
    return negative ? -value : value;
}

} // namespace tervane
