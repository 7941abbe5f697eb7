#include "kml/KmlWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <sstream>

namespace tervane {
namespace {

std::string Lines(std::initializer_list<std::string_view> lines)
{
    std::string text;
    for (auto line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::size_t CountLines(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i + 2))
        ++count;
    return count;
}

// A stream buffer that takes `capacity` characters and then refuses, like a full disk.
class FullBuffer : public std::streambuf {
public:
    explicit FullBuffer(std::size_t capacity) : m_capacity(capacity) {}
    std::string taken;

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        if (taken.size() >= m_capacity)
            return traits_type::eof();
        taken += traits_type::to_char_type(c);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        auto room = static_cast<std::streamsize>(m_capacity - taken.size());
        auto count = std::min(n, room);
        taken.append(s, static_cast<std::size_t>(count));
        return count;
    }

private:
    std::size_t m_capacity;
};

TEST(KmlNumber, FifteenSignificantDigitsPlainNotation)
{
    struct Row {
        const char* name;
        double value;
        const char* text;
    };
    const Row rows[] = {
        {"integer", 10000, "10000"},
        {"zero", 0, "0"},
        {"negative zero", -0.0, "0"},
        {"rounded to fifteen digits", 38.88972222222222, "38.8897222222222"},
        {"negative", -77.03694444444444, "-77.0369444444444"},
        {"antimeridian", -180, "-180"},
        {"below one has a leading zero", 0.75, "0.75"},
        {"negative below one", -0.5, "-0.5"},
        {"binary noise rounded away", 0.1 + 0.2, "0.3"},
        {"one third", 1.0 / 3, "0.333333333333333"},
        {"rounding up", 2.0 / 3, "0.666666666666667"},
        {"rounding carries into a new digit", 9.9999999999999991, "10"},
        {"large: no exponent", 1e20, "100000000000000000000"},
        {"large: digits past fifteen are zeros", 123456789012345678.0, "123456789012346000"},
        {"small: no exponent", 1e-7, "0.0000001"},
        // Sixteen digits ending in 5 look like a tie; the exact binary values are not.
        {"apparent tie below", 0.1234567890123455, "0.123456789012345"},
        {"apparent tie below, degrees", 38.88972222222225, "38.8897222222222"},
        {"apparent tie below, would carry", 9.999999999999995, "9.99999999999999"},
        {"apparent tie below, trailing zeros", 2.000000000000005, "2"},
        {"real value above the tie", 1234567890123.455, "1234567890123.46"},
        {"exact tie to even, down", 123456789012344.5, "123456789012344"},
        {"exact tie to even, up", 123456789012345.5, "123456789012346"},
        {"just below a power of ten", 0.00009999999999999999, "0.0001"},
        {"a power of ten", 1e-5, "0.00001"},
        {"rounded up with carry", 0.99999999999999989, "1"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {"infinity", std::numeric_limits<double>::infinity(), "INF"},
        {"negative infinity", -std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text, KmlNumber(row.value)) << row.name;

    std::string tiny = KmlNumber(std::numeric_limits<double>::denorm_min());
    EXPECT_EQ("0." + std::string(323, '0') + "494065645841247", tiny);
}

// Plain notation must read back as the correctly rounded value at every magnitude, not
// only at those of coordinates.
TEST(KmlNumber, ReadsBackAsTheRoundedValueAtEveryMagnitude)
{
    std::uint64_t state = 12345;
    auto next = [&state] {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    };
    auto check = [](double value) {
        std::array<char, 64> buffer{};
        auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                 std::chars_format::scientific, 14)
                       .ptr;
        double expected = 0;
        std::from_chars(buffer.data(), end, expected);
        std::string text = KmlNumber(value);
        ASSERT_EQ(std::string::npos, text.find_first_of("eE")) << text;
        double written = 0;
        auto parsed = std::from_chars(text.data(), text.data() + text.size(), written);
        ASSERT_EQ(text.data() + text.size(), parsed.ptr) << text;
        ASSERT_EQ(expected, written) << std::string(buffer.data(), end) << " written as " << text;
    };
    for (int i = 0; i < 20000; ++i) {
        double mantissa = static_cast<double>(next() >> 11) / static_cast<double>(1ULL << 53);
        check(std::ldexp(mantissa, static_cast<int>(next() % 120) - 60) * (i % 2 ? -1 : 1));
        // Next to a fifteen-digit half-way point (sixteen digits ending in 5), where
        // rounding goes wrong first.
        std::string tie = std::to_string(100000000000000ULL + next() % 900000000000000ULL) + "5e" +
                          std::to_string(static_cast<int>(next() % 40) - 30);
        double nearTie = 0;
        std::from_chars(tie.data(), tie.data() + tie.size(), nearTie);
        check(nearTie);
        check(std::nextafter(nearTie, 0.0));
        check(std::nextafter(nearTie, 1e300));
    }
}

TEST(KmlNumber, PointEvenUnderACommaLocale)
{
    const char* old = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (old == nullptr)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    std::locale previous = std::locale::global(std::locale("de_DE.UTF-8"));
    std::ostringstream out;
    WriteLookAt(out, 38.8897222222222, -77.0366666666667, 10000, 0, 0.5);
    std::string number = KmlNumber(1234.5);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");

    EXPECT_EQ("1234.5", number);
    EXPECT_NE(std::string::npos, out.str().find("<latitude>38.8897222222222</latitude>"));
    EXPECT_NE(std::string::npos, out.str().find("<tilt>0.5</tilt>"));
}

TEST(EscapeKml, KeepsTheDocumentWellFormed)
{
    struct Row {
        const char* name;
        std::string text;
        KmlEscape mode;
        std::string escaped;
    };
    const Row rows[] = {
        {"plain name untouched", "SMITH 1934", KmlEscape::Text, "SMITH 1934"},
        {"markup characters", "A&B <C> D", KmlEscape::Text, "A&amp;B &lt;C&gt; D"},
        {"quotes stay in element text", "O'NEIL \"X\"", KmlEscape::Text, "O'NEIL \"X\""},
        {"quotes escaped in attributes", "O'NEIL \"X\"", KmlEscape::Attribute, "O&apos;NEIL &quot;X&quot;"},
        {"CDATA end cannot survive", "A]]>B", KmlEscape::Attribute, "A]]&gt;B"},
        {"CR from a CR LF reply dropped", "SMITH\r", KmlEscape::Text, "SMITH"},
        {"other controls dropped, tab and LF kept", std::string("A\x01\tB\nC\x1F", 7), KmlEscape::Text,
         "A\tB\nC"},
        {"NUL dropped", std::string("A\0B", 3), KmlEscape::Text, "AB"},
        {"Latin-1 byte becomes UTF-8", "M\xDCLLER", KmlEscape::Text, "M\xC3\x9CLLER"},
        {"valid UTF-8 untouched", "M\xC3\x9CLLER \xF0\x9F\x97\xBA", KmlEscape::Text,
         "M\xC3\x9CLLER \xF0\x9F\x97\xBA"},
        {"sequence cut by the end", "A\xC3", KmlEscape::Text, "A\xC3\x83"},
        {"overlong form taken byte by byte", "\xC0\xAF", KmlEscape::Text, "\xC3\x80\xC2\xAF"},
        {"surrogate taken byte by byte", "\xED\xA0\x80", KmlEscape::Text, "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"past U+10FFFF taken byte by byte", "\xF4\x90\x80\x80", KmlEscape::Text,
         "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"non-characters dropped",
         "A\xEF\xBF\xBE\xEF\xBF\xBF"
         "B",
         KmlEscape::Text, "AB"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.escaped, EscapeKml(row.text, row.mode)) << row.name;
}

TEST(WriteKmlHead, TwoHundredFortySevenLines)
{
    std::ostringstream out;
    ASSERT_TRUE(WriteKmlHead(out));
    std::string head = out.str();
    EXPECT_EQ(247u, CountLines(head));
    EXPECT_EQ(0u, head.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                            "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n"));
    EXPECT_NE(std::string::npos, head.find("  <Style id=\"BrnTri\">\r\n    <IconStyle>\r\n"
                                           "      <color>ffffC080</color>\r\n"));
    // Every LF is preceded by a CR.
    for (std::size_t i = head.find('\n'); i != std::string::npos; i = head.find('\n', i + 1))
        ASSERT_EQ('\r', head[i - 1]) << "at " << i;
}

TEST(WriteLookAt, SevenLinesLongitudeFirst)
{
    std::ostringstream out;
    ASSERT_TRUE(WriteLookAt(out, 38.8897222222222, -77.0366666666667, 10000, 0, 0));
    EXPECT_EQ(Lines({"  <LookAt id=\"ID\">", "    <longitude>-77.0366666666667</longitude>",
                     "    <latitude>38.8897222222222</latitude>", "    <altitude>10000</altitude>",
                     "    <heading>0</heading>", "    <tilt>0</tilt>", "  </LookAt>"}),
              out.str());

    std::ostringstream antimeridian;
    WriteLookAt(antimeridian, 45, -180, 10000, 0, 0);
    EXPECT_NE(std::string::npos, antimeridian.str().find("<longitude>-180</longitude>"));
}

struct Mark {
    std::string pid = "AB1234";
    std::string designation = "SMITH";
    std::string latitudeHemisphere = "N";
    std::string latitudeText = "385323";
    std::string longitudeHemisphere = "W";
    std::string longitudeText = "0770213";
    std::string horizontalOrder = "2";
    std::string verticalOrder = "1";
};

PlacemarkOutcome Write(std::ostream& out, Mark& m, std::string& error,
                       std::string_view serviceUrl = "http://marks.example.org")
{
    return WritePlacemark(out, m.pid, m.designation, m.latitudeHemisphere, m.latitudeText,
                          m.longitudeHemisphere, m.longitudeText, m.horizontalOrder, m.verticalOrder,
                          serviceUrl, error);
}

TEST(WritePlacemark, ElevenLinesForANamedMark)
{
    Mark mark;
    std::ostringstream out;
    std::string error = "stale";
    EXPECT_EQ(PlacemarkOutcome::Written, Write(out, mark, error));
    EXPECT_EQ("", error);
    EXPECT_EQ(
        Lines({
            "  <Placemark>",
            "    <name>SMITH</name>",
            "    <description>      <![CDATA[",
            "      <a href=\"http://marks.example.org/cgi-bin/ds_mark.prl?PidBox=AB1234\">AB1234</a>]]>",
            "    </description>",
            "    <altitudeMode>clampToGround</altitudeMode>",
            "    <styleUrl>#RedTri</styleUrl>",
            "    <Point>",
            "      <coordinates>-77.0369444444444,38.8897222222222</coordinates>",
            "    </Point>",
            "  </Placemark>",
        }),
        out.str());
}

TEST(WritePlacemark, StyleFromTheOrderCodes)
{
    struct Row {
        const char* horizontal;
        const char* vertical;
        const char* style;
    };
    const Row rows[] = {
        {"S", "1", "PnkStar"}, {"A", "2", "PnkTri"}, {"0", "", "PnkTri"},  {"N", "1", "PnkTri"},
        {"B", "", "BrnTri"},   {"1", "2", "BluTri"}, {"2", "1", "RedTri"}, {"3", "", "BlkTri"},
        {"", "1", "BluSqr"},   {"", "2", "RedSqr"},  {"", "", "BlkSqr"},   {"s", "2", "RedSqr"},
        {"4", "3", "BlkSqr"},  {" ", "1", "BluSqr"}, {"2 ", "", "BlkSqr"},
    };
    for (const auto& row : rows) {
        Mark mark;
        mark.horizontalOrder = row.horizontal;
        mark.verticalOrder = row.vertical;
        std::ostringstream out;
        std::string error;
        Write(out, mark, error);
        EXPECT_NE(std::string::npos, out.str().find(std::string("<styleUrl>#") + row.style + "</styleUrl>"))
            << "'" << row.horizontal << "' '" << row.vertical << "'";
    }
}

TEST(WritePlacemark, CoordinatesFollowTheHemispheres)
{
    struct Row {
        const char* name;
        const char* latitudeHemisphere;
        const char* longitudeHemisphere;
        const char* longitudeText;
        const char* coordinates;
    };
    const Row rows[] = {
        {"north west", "N", "W", "0770213", "-77.0369444444444,38.8897222222222"},
        {"south east", "S", "E", "0770213", "77.0369444444444,-38.8897222222222"},
        {"190 W wraps to 170", "N", "W", "1900000", "170,38.8897222222222"},
        {"180 W stays -180", "N", "W", "1800000", "-180,38.8897222222222"},
        {"lower-case w is not west", "N", "w", "0770213", "77.0369444444444,38.8897222222222"},
    };
    for (const auto& row : rows) {
        Mark mark;
        mark.latitudeHemisphere = row.latitudeHemisphere;
        mark.longitudeHemisphere = row.longitudeHemisphere;
        mark.longitudeText = row.longitudeText;
        std::ostringstream out;
        std::string error;
        Write(out, mark, error);
        EXPECT_NE(std::string::npos, out.str().find(std::string("<coordinates>") + row.coordinates + "<"))
            << row.name;
    }
}

TEST(WritePlacemark, NameTrimmedAndEscaped)
{
    struct Row {
        const char* name;
        std::string designation;
        std::string nameLine;
        bool description;
    };
    const Row rows[] = {
        {"spaces trimmed", "  SMITH 2  ", "    <name>SMITH 2</name>\r\n", true},
        {"CR of a CR LF reply goes, then the spaces before it", "SMITH   \r", "    <name>SMITH</name>\r\n",
         true},
        {"blanks only: empty name, no description", "     ", "    <name></name>\r\n", false},
        {"a lone CR: no description", "\r", "    <name></name>\r\n", false},
        {"markup escaped", "A&B <1>", "    <name>A&amp;B &lt;1&gt;</name>\r\n", true},
        {"Latin-1 to UTF-8", "CAF\xC9", "    <name>CAF\xC3\x89</name>\r\n", true},
    };
    for (const auto& row : rows) {
        Mark mark;
        mark.designation = row.designation;
        std::ostringstream out;
        std::string error;
        Write(out, mark, error);
        EXPECT_NE(std::string::npos, out.str().find(row.nameLine)) << row.name;
        EXPECT_EQ(row.description, out.str().find("<description>") != std::string::npos) << row.name;
        EXPECT_EQ(row.description ? 11u : 8u, CountLines(out.str())) << row.name;
    }
}

TEST(WritePlacemark, PidCannotBreakTheDescription)
{
    Mark mark;
    mark.pid = "A]]>&\"";
    std::ostringstream out;
    std::string error;
    Write(out, mark, error);
    EXPECT_NE(std::string::npos, out.str().find("PidBox=A]]&gt;&amp;&quot;\">A]]&gt;&amp;&quot;</a>]]>"));
}

TEST(WritePlacemark, DatasheetLinkOnTheConfiguredService)
{
    struct Row {
        const char* serviceUrl;
        const char* link;
    };
    const Row rows[] = {
        {"https://marks.example.org:8443",
         "https://marks.example.org:8443/cgi-bin/ds_mark.prl?PidBox=AB1234"},
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/cgi-bin/ds_mark.prl?PidBox=AB1234"},
        {"marks.example.org", "http://marks.example.org/cgi-bin/ds_mark.prl?PidBox=AB1234"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.link, DatasheetLink(row.serviceUrl, "AB1234")) << row.serviceUrl;
}

TEST(WritePlacemark, RefusedAnglesWriteNothing)
{
    struct Row {
        const char* name;
        const char* latitude;
        const char* longitude;
        const char* error;
    };
    const Row rows[] = {
        {"latitude minutes 60", "386023", "0770213", "<*** Invalid minutes input (60) ***>"},
        {"longitude alone fails", "385323", "0770", "<*** Invalid angle - 0770 ***>"},
        {"both fail: the longitude's message", "386023", "0776013", "<*** Invalid minutes input (60) ***>"},
        {"both fail differently: the longitude's", "38", "0770260", "<*** Invalid seconds input (60) ***>"},
        {"empty texts of a short line", "", "", "<*** Invalid angle -  ***>"},
    };
    for (const auto& row : rows) {
        Mark mark;
        mark.latitudeText = row.latitude;
        mark.longitudeText = row.longitude;
        std::ostringstream out;
        std::string error;
        EXPECT_EQ(PlacemarkOutcome::AngleRefused, Write(out, mark, error)) << row.name;
        EXPECT_EQ(row.error, error) << row.name;
        EXPECT_EQ("", out.str()) << row.name;
    }
}

TEST(WritePlacemark, WriteFailureIsReported)
{
    // The old writer swallowed this and the run reported success with a cut document.
    Mark mark;
    FullBuffer full(100);
    std::ostream out(&full);
    std::string error;
    EXPECT_EQ(PlacemarkOutcome::WriteFailed, Write(out, mark, error));
    EXPECT_NE(std::string::npos, error.find("AB1234"));
    EXPECT_FALSE(WriteKmlHead(out));
}

} // namespace
} // namespace tervane
