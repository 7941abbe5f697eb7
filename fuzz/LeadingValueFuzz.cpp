// LeadingValue never fails, so a finding is a crash, undefined behaviour, a NaN (no text
// spells one), or a plain number that the C library reads differently.

#include "calcs/LeadingValue.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// [+-]digits[.digits][e[+-]digits] with at least one digit before the exponent: the
// texts LeadingValue and strtod must agree on (strtod with the C locale, as here).
bool IsPlainNumber(std::string_view text)
{
    std::size_t i = 0;
    auto digits = [&] {
        std::size_t from = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissaDigits = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double value = tervane::LeadingValue(text);
    if (std::isnan(value)) {
        std::fprintf(stderr, "LeadingValue gave NaN\n");
        std::abort();
    }
    if (IsPlainNumber(text)) {
        std::string copy(text);
        double expected = std::strtod(copy.c_str(), nullptr);
        if (value != expected) {
            std::fprintf(stderr, "LeadingValue gave %.17g, strtod %.17g\n", value, expected);
            std::abort();
        }
    }
    return 0;
}
