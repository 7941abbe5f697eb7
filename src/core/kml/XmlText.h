#pragma once

// The text every document format writes: numbers laid out as the KML document has always
// shown them, and reply text escaped for XML with its UTF-8 repaired. The KML writer,
// the GPX writer and any later format take them from here.

#include <string>
#include <string_view>

namespace tervane {

// Writes `value` with at most fifteen significant digits, in plain decimal notation
// (never an exponent), trailing zeros and a bare point dropped, '.' as the decimal
// point whatever the locale, and a leading 0 below 1 in magnitude:
//   10000 -> "10000"   38.88972222222222 -> "38.8897222222222"   -0.5 -> "-0.5"
//   -0.0 -> "0"        NaN -> "NaN"       infinities -> "INF", "-INF" (XML Schema spelling)
std::string KmlNumber(double value);
void AppendKmlNumber(std::string& out, double value);

enum class KmlEscape {
    Text,      // element text: & < >
    Attribute, // attribute values, and text inside a CDATA section's HTML: & < > " '
    None,      // no markup escaped: the repair alone, for formats other than XML
};

// Makes reply text safe for the document: escapes the markup characters of `mode`,
// drops control characters other than tab and LF (a CR is a line-end artefact of the
// reply), drops U+FFFE and U+FFFF, and takes every byte that is not part of a valid
// UTF-8 sequence as a Latin-1 character. Since '>' is always escaped, the result never
// holds "]]>" and can stand inside a CDATA section.
std::string EscapeKml(std::string_view text, KmlEscape mode = KmlEscape::Text);
void AppendEscapedKml(std::string& out, std::string_view text, KmlEscape mode = KmlEscape::Text);

} // namespace tervane
