#include "kml/KmlWriter.h"

#include "calcs/LeadingValue.h"
#include "kml/GpxWriter.h"
#include "text/TerminalText.h"

#include <gtest/gtest.h>

#include <tuple>

#include <clocale>
#include <limits>
#include <locale>

namespace tervane {
namespace {

// Reading the text back at every magnitude is the kml_number fuzz target's check; these
// are the values where that went wrong first, and the ones it does not look at.
TEST(KmlNumber, FifteenSignificantDigitsPlainNotation)
{
    const std::tuple<const char*, double, const char*> rows[] = {
        {"negative zero", -0.0, "0"},
        // Sixteen digits ending in 5 look like a tie, but the binary value is below it; a
        // real tie goes to even.
        {"apparent tie below", 38.88972222222225, "38.8897222222222"},
        {"exact tie to even", 123456789012344.5, "123456789012344"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {"negative infinity", -std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& [name, value, text] : rows)
        EXPECT_EQ(text, KmlNumber(value)) << name;
}

// A comma-decimal locale changes neither the numbers written nor those read.
TEST(KmlNumber, PointEvenUnderACommaLocaleWhichLeadingValueIgnoresToo)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr); // the name goes with the change
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)";
    const std::locale previous = std::locale::global(std::locale("de_DE.UTF-8"));
    const std::string number = KmlNumber(1234.5);
    const double value = LeadingValue("2.5");
    const double comma = LeadingValue("2,5");
    std::locale::global(previous);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ("1234.5", number);
    EXPECT_DOUBLE_EQ(2.5, value);
    EXPECT_DOUBLE_EQ(2.0, comma);
}

TEST(EscapeKml, KeepsTheDocumentWellFormed)
{
    using Row = std::tuple<const char*, std::string, KmlEscape, std::string>;
    // clang-format off
    const Row rows[] = {
        {"markup characters", "A&B <C> D", KmlEscape::Text, "A&amp;B &lt;C&gt; D"},
        {"quotes stay in element text", "O'NEIL \"X\"", KmlEscape::Text, "O'NEIL \"X\""},
        {"quotes escaped in attributes", "O'NEIL \"X\"", KmlEscape::Attribute, "O&apos;NEIL &quot;X&quot;"},
        {"CDATA end cannot survive", "A]]>B", KmlEscape::Attribute, "A]]&gt;B"},
        {"controls dropped (NUL, CR of a CR LF reply), tab and LF kept", std::string("A\0\x01\tB\nC\x1F\r", 9), KmlEscape::Text, "A\tB\nC"},
        {"Latin-1 byte becomes UTF-8", "M\xDCLLER", KmlEscape::Text, "M\xC3\x9CLLER"},
        {"valid UTF-8 untouched", "M\xC3\x9CLLER \xF0\x9F\x97\xBA", KmlEscape::Text, "M\xC3\x9CLLER \xF0\x9F\x97\xBA"},
        {"sequence cut by the end", "A\xC3", KmlEscape::Text, "A\xC3\x83"},
        {"overlong form taken byte by byte", "\xC0\xAF", KmlEscape::Text, "\xC3\x80\xC2\xAF"},
        {"surrogate taken byte by byte", "\xED\xA0\x80", KmlEscape::Text, "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"past U+10FFFF taken byte by byte", "\xF4\x90\x80\x80", KmlEscape::Text, "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"non-characters dropped", "A\xEF\xBF\xBE\xEF\xBF\xBF" "B", KmlEscape::Text, "AB"},
    };
    // clang-format on
    for (const auto& [name, text, mode, escaped] : rows)
        EXPECT_EQ(escaped, EscapeKml(text, mode)) << name;
}

// Exact, whole-field compares: a lower-case or padded code is no code.
TEST(KmlPieces, StyleFromTheOrderCodes)
{
    const char* const rows[][3] = {
        {"S", "1", "PnkStar"}, {"A", "2", "PnkTri"}, {"0", "", "PnkTri"},  {"N", "1", "PnkTri"},
        {"B", "", "BrnTri"},   {"1", "2", "BluTri"}, {"2", "1", "RedTri"}, {"3", "", "BlkTri"},
        {"", "1", "BluSqr"},   {"", "2", "RedSqr"},  {"", "", "BlkSqr"},   {"s", "2", "RedSqr"},
        {"4", "3", "BlkSqr"},  {"2 ", "", "BlkSqr"},
    };
    for (const auto& [horizontal, vertical, style] : rows)
        EXPECT_EQ(style, PlacemarkStyleId(horizontal, vertical)) << "'" << horizontal << "' '" << vertical << "'";
}

// A waypoint's link must be a URI (the GPX schema says so): whatever RFC 3986 does not
// leave unreserved is percent-encoded in the PID, while the KML's link keeps the PID as
// the reply gave it, escaped so that it can break out of neither its link nor the CDATA
// section around it.
TEST(KmlPieces, GpxLinkPercentEncodesThePid)
{
    const char* const rows[][3] = {
        {"AB1234", "PidBox=AB1234\"", "PidBox=AB1234\""},
        {"A]B[10% a#?/:@  ", "PidBox=A%5DB%5B10%25%20a%23%3F%2F%3A%40%20%20\"", "PidBox=A]B[10% a#?/:@  \""},
        {"x&'=+-._~\xC3\xA9", "PidBox=x%26%27%3D%2B-._~%C3%A9\"", "PidBox=x&amp;&apos;=+-._~\xC3\xA9\""},
        {"A]]>&\"", "PidBox=A%5D%5D%3E%26%22\"", "PidBox=A]]&gt;&amp;&quot;\">A]]&gt;&amp;&quot;</a>]]>\r\n"},
    };
    for (const auto& [pid, gpxLink, kmlLink] : rows) {
        std::string gpx;
        AppendWaypoint(gpx, pid, "M", 38.9, -77, "2", "1", "http://marks.example.org");
        EXPECT_NE(std::string::npos,
                  gpx.find(std::string("<link href=\"http://marks.example.org/cgi-bin/ds_mark.prl?") + gpxLink))
            << gpx;
        std::string kml;
        AppendPlacemark(kml, pid, "M", 38.9, -77, "2", "1", "http://marks.example.org");
        EXPECT_NE(std::string::npos, kml.find(kmlLink)) << kml;
    }
}

// A trailing slash is dropped; a bare host is taken as http.
TEST(KmlPieces, DatasheetLinkOnTheConfiguredService)
{
    EXPECT_EQ("http://127.0.0.1:8080/cgi-bin/ds_mark.prl?PidBox=AB1234",
              DatasheetLink("http://127.0.0.1:8080/", "AB1234"));
    EXPECT_EQ("http://marks.example.org/cgi-bin/ds_mark.prl?PidBox=AB1234",
              DatasheetLink("marks.example.org", "AB1234"));
}

// Sequences a hostile reply was seen to carry, and the neighbours that must stay as
// they are.
TEST(TerminalText, ShowsControlCharactersAndKeepsText)
{
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"title change", "INPUT ERROR\x1b]0;pwned\x07!", "INPUT ERROR\\x1b]0;pwned\\x07!"},
        {"screen clear", "\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},
        {"clipboard write", "\x1b]52;c;aGk=\x1b\\", "\\x1b]52;c;aGk=\\x1b\\"},
        {"tab and line ends stay", "a\tb\r\nc\nd", "a\tb\r\nc\nd"},
        {"a lone CR would overwrite the line", "safe\rEVIL", "safe\\x0dEVIL"},
        {"NUL, DEL", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
        {"C1 CSI written as UTF-8", "x\xc2\x9bK", "x\\xc2\\x9bK"},
        {"C1 CSI as a lone byte", "x\x9bK", "x\\x9bK"},
        {"UTF-8 letters stay", "Stra\xc3\x9f \xc2\xb0 \xe2\x82\xac", "Stra\xc3\x9f \xc2\xb0 \xe2\x82\xac"},
        {"Latin-1 letters stay", "\xb0\xe9", "\xb0\xe9"},
        {"a cut sequence at the end", "ab\xc2", "ab\xc2"},
        {"C1 CSI inside an overlong form", "x\xe0\x80\x9bK", "x\xe0\\x80\\x9bK"},
    };
    for (const auto& [name, text, shown] : rows)
        EXPECT_EQ(shown, EscapeForTerminal(text)) << name;
}

} // namespace
} // namespace tervane
