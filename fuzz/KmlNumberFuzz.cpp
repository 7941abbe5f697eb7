// KmlNumber on any double (the input's first eight bytes): plain decimal notation that
// reads back as the value rounded to fifteen significant digits by the C library's own
// printf, whichever of the writer's two roundings produced it.

#include "kml/KmlWriter.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, double value, const std::string& text)
{
    std::fprintf(stderr, "KmlNumber(%.17g) = \"%s\": %s\n", value, text.c_str(), what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    double value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    const std::string text = tervane::KmlNumber(value);
    if (!std::isfinite(value))
        return 0;
    if (value == 0) {
        if (text != "0")
            Fail("zero written otherwise", value, text);
        return 0;
    }

    if (text.find_first_not_of("-0123456789.") != std::string::npos)
        Fail("not plain notation", value, text);
    const auto point = text.find('.');
    if (point != std::string::npos && (text.back() == '0' || text.back() == '.'))
        Fail("trailing zeros or a bare point", value, text);
    if (point == 0 || (point == 1 && text[0] == '-'))
        Fail("no leading 0 before the point", value, text);

    char reference[64];
    std::snprintf(reference, sizeof reference, "%.14e", value);
    if (std::strtod(text.c_str(), nullptr) != std::strtod(reference, nullptr))
        Fail(reference, value, text);
    return 0;
}
