#pragma once

// Reads the number at the start of a text, the way every number typed by the user or
// found in a data file is read: the radius, a FIPS code, the fields of an angle, the
// line numbers of the catalogue index.
//
// Blanks, tabs and line feeds anywhere in the text are skipped. Then an optional sign,
// digits with at most one decimal point '.' (whatever the locale) and an optional
// exponent ('E' or 'D', either case, with optional sign and digits) are read up to the
// first character that does not fit; the rest is ignored.
//
//   "12abc" -> 12      " 1 2" -> 12      "059" -> 59       "-2.5e1" -> -25
//   "1D2"   -> 100     "7."   -> 7       "."   -> 0        "abc"    -> 0
//   ""      -> 0       "1e"   -> 1       "1e+" -> 1        "+.5"    -> 0.5
//
// Never fails: a text without a leading number gives 0. A value too large for a double
// gives an infinity with the number's sign.

#include <string_view>

namespace tervane {

double LeadingValue(std::string_view text);

} // namespace tervane
