// ParseDmsAngle on any text: it never raises, an accepted angle is a finite number, a
// refusal leaves the angle 0 with a message in the program's own wording, and the text
// comes back without trailing spaces (a leading one may follow a removed '-').

#include "calcs/Angles.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "ParseDmsAngle: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double angle = 1;
    std::string error = "stale";
    bool accepted = tervane::ParseDmsAngle(text, angle, error);

    Require(accepted == error.empty(), "the verdict and the error text disagree");
    if (accepted) {
        Require(std::isfinite(angle), "an accepted angle is not finite");
    } else {
        Require(angle == 0, "a refused angle is not 0");
        std::string_view message(error);
        Require(message.starts_with("<*** ") && message.ends_with(" ***>"), "a message in foreign wording");
    }
    Require(text.empty() || text.back() != ' ', "the text is not trimmed");
    return 0;
}
