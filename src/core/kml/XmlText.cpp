#include "kml/XmlText.h"

#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tervane {

namespace {

constexpr std::size_t kSignificantDigits = 15;

// Printable ASCII that needs no escaping in text or attributes.
constexpr std::array<bool, 256> kPlainCharacters = [] {
    std::array<bool, 256> plain{};
    for (int c = ' '; c <= '~'; ++c)
        plain[static_cast<std::size_t>(c)] = true;
    for (char c : {'&', '<', '>', '"', '\''})
        plain[static_cast<unsigned char>(c)] = false;
    return plain;
}();

// U+FFFE and U+FFFF are not XML characters.
bool IsNonCharacter(std::string_view sequence)
{
    return sequence.size() == 3 && sequence[0] == '\xEF' && sequence[1] == '\xBF' &&
           (sequence[2] == '\xBE' || sequence[2] == '\xBF');
}

// The significant digits of a positive finite value and the decimal exponent of the
// first: 38.5 is {"385", 3, 1}.
struct Digits {
    std::array<char, 32> digits{};
    std::size_t count = 0;
    int exponent = 0;
};

// Splits to_chars' scientific form ("d.ddde+xx"); to_chars never consults the locale.
Digits SplitScientific(std::string_view text)
{
    Digits result;
    auto ePos = text.find('e');
    for (char c : text.substr(0, ePos)) {
        if (c != '.')
            result.digits[result.count++] = c;
    }
    auto exponent = text.substr(ePos + 1);
    if (!exponent.empty() && exponent.front() == '+')
        exponent.remove_prefix(1);
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), result.exponent);
    return result;
}

// The exact value correctly rounded to fifteen significant digits.
Digits RoundedDigits(double value)
{
    std::array<char, 40> buffer{};
    auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                             std::chars_format::scientific, kSignificantDigits - 1)
                   .ptr;
    return SplitScientific(std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data())));
}

__extension__ using Uint128 = unsigned __int128;

constexpr std::uint64_t kLowest15Digits = 100000000000000ULL;  // 10^14
constexpr std::uint64_t kBeyond15Digits = 1000000000000000ULL; // 10^15
constexpr int kMaxDecimalPlaces = 20;
constexpr int kMantissaBits = 53;
constexpr int kStoredMantissaBits = 52;
constexpr int kExponentBias = 1023;

constexpr std::array<std::uint64_t, kMaxDecimalPlaces + 1> kPowersOfFive = [] {
    std::array<std::uint64_t, kMaxDecimalPlaces + 1> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i)
        powers[i] = powers[i - 1] * 5;
    return powers;
}();

constexpr std::uint64_t kLowHalfLimit = 100000000; // 10^8

constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes `value` as exactly `width` decimal digits, leading zeros included.
void WriteDigitPairs(char* out, std::uint32_t value, std::size_t width)
{
    std::size_t end = width;
    while (end >= 2) {
        const std::uint32_t pair = value % 100;
        value /= 100;
        end -= 2;
        out[end] = kDigitPairs[2 * pair];
        out[end + 1] = kDigitPairs[2 * pair + 1];
    }
    if (end == 1)
        out[0] = static_cast<char>('0' + value % 10);
}

// The exact value rounded to fifteen digits (half to even) in integer arithmetic, for the
// range coordinates live in: value = m * 2^q, so value * 10^p = m * 5^p * 2^(q + p) is
// exact in 128 bits. Some five times faster than the general conversion. False outside
// that range.
bool FastRoundedDigits(double value, Digits& digits)
{
    constexpr double kFastMinimum = 1e-5;
    constexpr double kFastLimit = 1e15;
    if (!(value >= kFastMinimum && value < kFastLimit))
        return false;
    // value = mantissa * 2^q exactly; the range excludes subnormals, so the implicit
    // leading bit is always there.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biasedExponent = static_cast<int>((bits >> kStoredMantissaBits) & 0x7FF);
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << kStoredMantissaBits) - 1)) | (std::uint64_t{1} << kStoredMantissaBits);
    const int q = biasedExponent - kExponentBias - kStoredMantissaBits;
    const int binaryExponent = q + kMantissaBits; // as frexp gives it: value < 2^binaryExponent

    // floor(log10(value)) from the binary exponent (78913 / 2^18 is just below log10 2):
    // at most one too small; the integer checks below settle it.
    int exponent = ((binaryExponent - 1) * 78913) >> 18;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int places = static_cast<int>(kSignificantDigits) - 1 - exponent;
        if (places < 0 || places > kMaxDecimalPlaces)
            return false;
        const Uint128 scaled = Uint128{mantissa} * kPowersOfFive[static_cast<std::size_t>(places)];
        const int shift = -(q + places);
        if (shift >= 127 || shift <= -20)
            return false;
        Uint128 whole = shift <= 0 ? scaled << -shift : scaled >> shift;
        if (whole < kLowest15Digits) {
            --exponent;
            continue;
        }
        if (whole >= kBeyond15Digits) {
            ++exponent;
            continue;
        }
        if (shift > 0) {
            const Uint128 remainder = scaled & ((Uint128{1} << shift) - 1);
            const Uint128 half = Uint128{1} << (shift - 1);
            if (remainder > half || (remainder == half && (whole & 1) != 0))
                ++whole;
            if (whole == kBeyond15Digits) {
                whole = kLowest15Digits;
                ++exponent;
            }
        }
        // Two independent halves of 7 and 8 digits, two digits a step: a single chain of
        // fifteen divisions by ten costs more than all the rest.
        const auto number = static_cast<std::uint64_t>(whole);
        WriteDigitPairs(digits.digits.data(), static_cast<std::uint32_t>(number / kLowHalfLimit), 7);
        WriteDigitPairs(digits.digits.data() + 7, static_cast<std::uint32_t>(number % kLowHalfLimit), 8);
        digits.count = kSignificantDigits;
        digits.exponent = exponent;
        return true;
    }
    return false;
}

// Plain notation from the digits and the decimal exponent of the first of them,
// trailing zeros after the point dropped.
void AppendPlain(std::string& out, const Digits& digits)
{
    // Laid out in a local buffer and appended once: the longest text, the smallest
    // subnormal, is "0." and 323 zeros before its digits.
    std::array<char, 360> text;
    std::size_t length = 0;
    auto put = [&](const char* from, std::size_t count) {
        std::copy(from, from + count, text.data() + length);
        length += count;
    };
    auto zeros = [&](std::size_t count) {
        std::fill_n(text.data() + length, count, '0');
        length += count;
    };

    std::size_t count = digits.count;
    while (count > 1 && digits.digits[count - 1] == '0')
        --count;
    const char* significant = digits.digits.data();
    if (digits.exponent < 0) {
        put("0.", 2);
        zeros(static_cast<std::size_t>(-digits.exponent - 1));
        put(significant, count);
    } else if (auto integerDigits = static_cast<std::size_t>(digits.exponent) + 1; count <= integerDigits) {
        put(significant, count);
        zeros(integerDigits - count);
    } else {
        put(significant, integerDigits);
        put(".", 1);
        put(significant + integerDigits, count - integerDigits);
    }
    out.append(text.data(), length);
}

} // namespace

void AppendKmlNumber(std::string& out, double value)
{
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-INF" : "INF";
        return;
    }
    if (value == 0) { // -0 as well: a sign on zero means nothing to a viewer
        out += '0';
        return;
    }
    if (value < 0)
        out += '-';

    const double magnitude = std::fabs(value);
    Digits digits;
    if (!FastRoundedDigits(magnitude, digits))
        digits = RoundedDigits(magnitude);
    AppendPlain(out, digits);
}

std::string KmlNumber(double value)
{
    std::string text;
    AppendKmlNumber(text, value);
    return text;
}

void AppendEscapedKml(std::string& out, std::string_view text, KmlEscape mode)
{
    const bool attribute = mode == KmlEscape::Attribute;
    for (std::size_t i = 0; i < text.size();) {
        // Most names are plain ASCII: copy such runs whole.
        std::size_t run = i;
        while (run < text.size() && kPlainCharacters[static_cast<unsigned char>(text[run])])
            ++run;
        if (run > i) {
            out.append(text.data() + i, run - i);
            i = run;
            continue;
        }
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 && c >= 0x20 && mode == KmlEscape::None) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\'':
                out += attribute ? "&apos;" : "'";
                break;
            default:
                if (c >= 0x20 || c == '\t' || c == '\n')
                    out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        auto length = Utf8SequenceLength(text, i);
        if (length == 0) {
            // Latin-1: the byte is the code point, two bytes in UTF-8.
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
            continue;
        }
        auto sequence = text.substr(i, length);
        if (!IsNonCharacter(sequence))
            out += sequence;
        i += length;
    }
}

std::string EscapeKml(std::string_view text, KmlEscape mode)
{
    std::string escaped;
    escaped.reserve(text.size());
    AppendEscapedKml(escaped, text, mode);
    return escaped;
}

} // namespace tervane
