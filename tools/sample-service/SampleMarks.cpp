#include "SampleMarks.h"

#include "SplitMix64.h"
#include "retrieval/ControlType.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

namespace tervane::sample {

namespace {

constexpr double kMilesPerDegreeLatitude = 69.05;
constexpr double kPi = 3.14159265358979323846;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerDegree = 3600;
// Inside the radius with room for the rounding of the printed seconds.
constexpr double kRadiusShare = 0.97;

const std::string kIncomplete = "INPUT INCOMPLETE: ";
const std::string kInputError = "INPUT ERROR: ";

class Random : public SplitMix64 {
public:
    using SplitMix64::SplitMix64;
    template <typename T, std::size_t N> const T& Pick(const std::array<T, N>& from)
    {
        return from[static_cast<std::size_t>(Below(static_cast<int>(N)))];
    }
};

std::uint64_t Fnv1a(std::string_view text)
{
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 0x100000001B3ULL;
    }
    return hash;
}

struct Position {
    double latitude;  // degrees, north positive
    double longitude; // degrees, east positive
};

const std::array<std::string_view, 24> kNameWords{
    "RIDGE", "MILL",  "CHURCH", "TOWER",  "BRIDGE", "SUMMIT", "HOLLOW", "STATION", "GAP",  "KNOB",   "FORD", "OAK",
    "CEDAR", "CREEK", "SCHOOL", "BEACON", "MEADOW", "PINE",   "ROCK",   "FERRY",   "HILL", "CORNER", "SPUR", "DAM"};
const std::array<std::string_view, 6> kNameTails{"", " RESET", " AZ MK", " RM 2", " ECC", " 2"};

// The order codes a control type's marks carry (horizontal, vertical); ' ' is blank.
struct OrderChoices {
    std::string_view horizontal;
    std::string_view vertical;
};

OrderChoices OrdersFor(std::string_view code)
{
    if (code == "H-A-0") return {"A", "123 "};
    if (code == "H-B-0") return {"B", "123 "};
    if (code == "H-1-0") return {"1", "123 "};
    if (code == "H-2-0") return {"2", "123 "};
    if (code == "P-S-0") return {"AB", "12 "};
    if (code == "V-1-0") return {"AB123 ", "1"};
    if (code == "V-2-0") return {"AB123 ", "2"};
    if (code.substr(0, 1) == "V") return {"AB123 ", "123"};
    if (code == "H-G" || code == "H-G-0") return {"AB", "12 "};
    if (code == "COR-0") return {"AB", "12"};
    if (code == "TID-0") return {" 23", "123"};
    if (code == "D-D-0") return {"123 ", "123 "};
    return {"AB123", "123 "};
}

bool KnownControlCode(std::string_view code)
{
    if (code == kGpsCompanionCode) {
        return true;
    }
    for (const ControlTypeEntry& type : kControlTypes) {
        if (type.requestCode == code) {
            return true;
        }
    }
    return false;
}

// Whole seconds as D..DMMSS with `degreeDigits` digits of degrees.
std::string Dms(double degrees, int degreeDigits)
{
    const long total = std::lround(std::fabs(degrees) * kSecondsPerDegree);
    const long d = total / kSecondsPerDegree;
    const long m = (total % kSecondsPerDegree) / kSecondsPerMinute;
    const long s = total % kSecondsPerMinute;
    std::string text;
    auto append = [&text](long value, int width) {
        std::string digits = std::to_string(value);
        text += std::string(static_cast<std::size_t>(width) - std::min(digits.size(), std::size_t(width)), '0');
        text += digits;
    };
    append(d, degreeDigits);
    append(m, 2);
    append(s, 2);
    return text;
}

std::string MarkLine(int number, const std::string& pid, char horizontal, char vertical, Position at,
                     const std::string& name)
{
    at.latitude = std::clamp(at.latitude, -89.99, 89.99);
    if (at.longitude > 180) {
        at.longitude -= 360;
    } else if (at.longitude < -180) {
        at.longitude += 360;
    }
    std::string line(51, ' ');
    const std::string numberText = std::to_string(number);
    line.replace(3 - numberText.size(), numberText.size(), numberText);
    line[3] = '.';
    line.replace(6, 6, pid);
    line[13] = horizontal;
    line[15] = vertical;
    line[29] = at.latitude < 0 ? 'S' : 'N';
    line.replace(30, 6, Dms(at.latitude, 2));
    line[37] = at.longitude > 0 ? 'E' : 'W';
    line.replace(38, 7, Dms(at.longitude, 3));
    return line + name;
}

std::string MakePid(Random& random, std::set<std::string>& used)
{
    for (;;) {
        std::string pid;
        pid += static_cast<char>('A' + random.Below(26));
        pid += static_cast<char>('A' + random.Below(26));
        const std::string digits = std::to_string(random.Below(10000));
        pid += std::string(4 - digits.size(), '0') + digits;
        if (used.insert(pid).second) {
            return pid;
        }
    }
}

std::string MakeName(Random& random)
{
    std::string name(random.Pick(kNameWords));
    if (random.Below(3) == 0) {
        name += ' ';
        name += random.Pick(kNameWords);
    }
    if (random.Below(2) == 0) {
        name += ' ' + std::to_string(1 + random.Below(12));
    }
    name += random.Pick(kNameTails);
    if (random.Below(4) == 0) {
        name += ' ' + std::to_string(1900 + random.Below(120));
    }
    return name;
}

// `place` makes the position of each mark from the query's own random sequence.
template <typename Place>
std::string MarkReply(const std::string& heading, std::string_view code, int count, Random& random, Place place)
{
    std::string body = " TERVANE SAMPLE SERVICE - " + heading + "\n";
    body += " Made-up marks for trying Tervane; not survey data.\n";
    const OrderChoices orders = OrdersFor(code);
    std::set<std::string> used;
    for (int i = 1; i <= count; ++i) {
        const std::string pid = MakePid(random, used);
        const char horizontal = orders.horizontal[static_cast<std::size_t>(
            random.Below(static_cast<int>(orders.horizontal.size())))];
        const char vertical =
            orders.vertical[static_cast<std::size_t>(random.Below(static_cast<int>(orders.vertical.size())))];
        const Position at = place(random);
        body += MarkLine(i, pid, horizontal, vertical, at, MakeName(random)) + "\n";
    }
    return body;
}

bool IsDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// N385323, 385323N, 385323.5 and the like: degrees in `degreeDigits` digits or one fewer.
bool ReadAngle(std::string_view text, char positive, char negative, int degreeDigits, double maxDegrees,
               double& degrees)
{
    int sign = 1;
    if (!text.empty() && (text.front() == positive || text.front() == negative)) {
        sign = text.front() == negative ? -1 : 1;
        text.remove_prefix(1);
    } else if (!text.empty() && (text.back() == positive || text.back() == negative)) {
        sign = text.back() == negative ? -1 : 1;
        text.remove_suffix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!IsDigits(whole) || (point != std::string_view::npos && !IsDigits(fraction)) ||
        whole.size() < static_cast<std::size_t>(degreeDigits + 3) ||
        whole.size() > static_cast<std::size_t>(degreeDigits + 4)) {
        return false;
    }
    const std::size_t degreeLength = whole.size() - 4;
    int d = 0, m = 0, s = 0;
    std::from_chars(whole.data(), whole.data() + degreeLength, d);
    std::from_chars(whole.data() + degreeLength, whole.data() + degreeLength + 2, m);
    std::from_chars(whole.data() + degreeLength + 2, whole.data() + whole.size(), s);
    double secondsFraction = 0;
    if (!fraction.empty()) {
        std::from_chars(fraction.data(), fraction.data() + fraction.size(), secondsFraction);
        secondsFraction /= std::pow(10.0, static_cast<double>(fraction.size()));
    }
    if (m >= kSecondsPerMinute || s >= kSecondsPerMinute) {
        return false;
    }
    degrees = sign * (d + m / 60.0 + (s + secondsFraction) / kSecondsPerDegree);
    return std::fabs(degrees) <= maxDegrees;
}

// The leading decimal number of a text ("12abc" reads 12), as the program reads radii.
bool ReadMiles(std::string_view text, double& miles)
{
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, miles);
    return ec == std::errc() && stop != text.data();
}

std::string Value(const std::map<std::string, std::string>& query, const char* key, bool& missing)
{
    const auto found = query.find(key);
    if (found == query.end() || found->second.empty()) {
        missing = true;
        return {};
    }
    return found->second;
}

SampleReply Incomplete(const std::string& what) { return {200, kIncomplete + what + "\n"}; }
SampleReply InputError(const std::string& what) { return {200, kInputError + what + "\n"}; }

SampleReply CheckedCode(const std::string& code, bool& ok)
{
    ok = KnownControlCode(code);
    return ok ? SampleReply{} : InputError("unknown control type code '" + code + "'");
}

Position Around(Random& random, const Position& centre, double latitudeSpread, double longitudeSpread)
{
    return {centre.latitude + random.Between(-latitudeSpread, latitudeSpread),
            centre.longitude + random.Between(-longitudeSpread, longitudeSpread)};
}

// A centre on the lower 48 states' span, chosen by the text.
Position CentreFor(std::string_view text)
{
    Random random(Fnv1a(text));
    return {random.Between(30.0, 47.0), -random.Between(75.0, 120.0)};
}

SampleReply County(const std::map<std::string, std::string>& query)
{
    bool missing = false;
    const std::string state = Value(query, "2", missing);
    const std::string fips = Value(query, "3", missing);
    const std::string code = Value(query, "4", missing);
    if (missing) {
        return Incomplete("a county query needs 2=<state>, 3=<FIPS code> and 4=<control code>");
    }
    if (state.size() != 2 || fips.size() != 3 || !IsDigits(fips)) {
        return InputError("no county " + fips + " in state " + state);
    }
    bool known = false;
    SampleReply refusal = CheckedCode(code, known);
    if (!known) {
        return refusal;
    }
    Random random(Fnv1a("COUNTY|" + state + "|" + fips + "|" + code));
    const Position centre = CentreFor(state + fips);
    const int count = (code == kGpsCompanionCode ? 2 : 6) + random.Below(code == kGpsCompanionCode ? 8 : 30);
    return {200, MarkReply("COUNTY " + fips + " OF " + state + ", TYPE " + code, code, count, random,
                           [&](Random& r) { return Around(r, centre, 0.22, 0.28); })};
}

SampleReply Radius(const std::map<std::string, std::string>& query)
{
    bool missing = false;
    const std::string latitudeText = Value(query, "2", missing);
    const std::string longitudeText = Value(query, "3", missing);
    const std::string milesText = Value(query, "4", missing);
    const std::string code = Value(query, "5", missing);
    if (missing) {
        return Incomplete("a radius query needs 2=<latitude>, 3=<longitude>, 4=<miles> and 5=<control code>");
    }
    Position centre{};
    if (!ReadAngle(latitudeText, 'N', 'S', 2, 90.0, centre.latitude)) {
        return InputError("latitude '" + latitudeText + "' is not like N385323");
    }
    if (!ReadAngle(longitudeText, 'E', 'W', 3, 180.0, centre.longitude)) {
        return InputError("longitude '" + longitudeText + "' is not like W0770213");
    }
    // Without a letter the program means the western hemisphere.
    if (longitudeText.find_first_of("EW") == std::string::npos) {
        centre.longitude = -centre.longitude;
    }
    double miles = 0;
    if (!ReadMiles(milesText, miles) || !(miles > 0) || miles > 100) {
        return InputError("radius '" + milesText + "' is not a distance in miles up to 100");
    }
    bool known = false;
    SampleReply refusal = CheckedCode(code, known);
    if (!known) {
        return refusal;
    }
    Random random(Fnv1a("RADIUS|" + latitudeText + "|" + longitudeText + "|" + milesText + "|" + code));
    const int count = std::min(kMaxMarks, 3 + static_cast<int>(miles * 1.5) + random.Below(6));
    const double cosLatitude = std::max(0.05, std::cos(centre.latitude * kPi / 180.0));
    return {200, MarkReply("WITHIN " + milesText + " MILES OF " + latitudeText + " " + longitudeText + ", TYPE " + code,
                           code, count, random, [&](Random& r) {
                               // Even over the disc: the distance goes with the root.
                               const double distance = kRadiusShare * miles * std::sqrt(r.Unit());
                               const double bearing = r.Between(0, 2 * kPi);
                               const double north = distance * std::cos(bearing) / kMilesPerDegreeLatitude;
                               const double east =
                                   distance * std::sin(bearing) / (kMilesPerDegreeLatitude * cosLatitude);
                               return Position{centre.latitude + north, centre.longitude + east};
                           })};
}

SampleReply Project(const std::map<std::string, std::string>& query)
{
    bool missing = false;
    const std::string id = Value(query, "2", missing);
    const std::string letter = Value(query, "3", missing);
    const std::string code = Value(query, "4", missing);
    if (missing) {
        return Incomplete("a project query needs 2=<project id>, 3=N and 4=X-0-0");
    }
    if (letter != "N" || code != "X-0-0") {
        return InputError("a project query takes 3=N and 4=X-0-0");
    }
    if (id == kNoMarksProject) {
        return {200, " TERVANE SAMPLE SERVICE - PROJECT " + id + "\n No marks.\n"};
    }
    Random random(Fnv1a("PROJECT|" + id));
    const Position centre = CentreFor(id);
    const int count = 5 + random.Below(20);
    return {200, MarkReply("PROJECT " + id, code, count, random,
                           [&](Random& r) { return Around(r, centre, 0.8, 1.0); })};
}

} // namespace

SampleReply AnswerMarkList(const std::map<std::string, std::string>& query)
{
    bool missing = false;
    const std::string kind = Value(query, "1", missing);
    if (missing) {
        return Incomplete("1=COUNTY, 1=RADIUS or 1=PROJECT is needed");
    }
    if (kind == "COUNTY") return County(query);
    if (kind == "RADIUS") return Radius(query);
    if (kind == "PROJECT") return Project(query);
    return InputError("unknown query kind '" + kind + "'");
}

SampleReply AnswerDatasheet(std::string_view pid)
{
    const bool wellFormed = pid.size() == 6 && pid[0] >= 'A' && pid[0] <= 'Z' && pid[1] >= 'A' && pid[1] <= 'Z' &&
                            IsDigits(pid.substr(2));
    if (!wellFormed) {
        return {404, "No mark with the PID '" + std::string(pid) + "'.\n"};
    }
    const std::string id(pid);
    Random random(Fnv1a("DATASHEET|" + id));
    std::string body = " TERVANE SAMPLE SERVICE - DATASHEET\n";
    body += " Made-up marks for trying Tervane; not survey data.\n\n";
    body += " " + id + " ***********************************************************\n";
    body += " " + id + "  DESIGNATION -  " + MakeName(random) + "\n";
    body += " " + id + "  PID         -  " + id + "\n";
    body += " " + id + "  MARKER: DD = SURVEY DISK\n";
    body += " " + id + "  SETTING: 7 = SET IN TOP OF CONCRETE MONUMENT\n";
    body += " " + id + "  STAMPING: " + MakeName(random) + "\n";
    body += " " + id + "  This page stands in for the survey agency's datasheet of the mark.\n";
    return {200, body};
}

} // namespace tervane::sample
