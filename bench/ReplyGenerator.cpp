#include "ReplyGenerator.h"

#include "SplitMix64.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tervane::bench {

namespace {

constexpr std::array<std::string_view, 12> kNames{
    "SMITH",         "USGS BM K 12", "TRIANGULATION STATION HILL",
    "RESET 1934",    "WATER TANK",   "CHURCH SPIRE",
    "JONES",         "AZ MK",        "TIDAL 5",
    "GPS 1187 RM 2", "COUNTY LINE",  "BRIDGE PIER 3"};
constexpr std::string_view kHorizontalOrders = "  0AB1123";
constexpr std::string_view kVerticalOrders = "   1223";

void AppendDigits(std::string& out, unsigned value, int width)
{
    std::array<char, 8> digits{};
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    out.append(digits.data(), static_cast<std::size_t>(width));
}

} // namespace

std::string GenerateMarkListReply(std::size_t marks)
{
    SplitMix64 random(20240611);
    std::string reply = "PID LIST FOR THE REQUESTED AREA\n\n";
    reply.reserve(marks * 72 + 64);
    for (std::size_t i = 0; i < marks; ++i) {
        //  columns: 1-3 count, 4 '.', 7-12 pid, 14 h order, 16 v order, 30-36 latitude,
        //  38-45 longitude, 52- designation
        AppendDigits(reply, static_cast<unsigned>(i % 1000), 3);
        reply += ".  ";
        reply += static_cast<char>('A' + random.Below(26));
        reply += static_cast<char>('A' + random.Below(26));
        AppendDigits(reply, random.Below(10000), 4);
        reply += ' ';
        reply += kHorizontalOrders[random.Below(kHorizontalOrders.size())];
        reply += ' ';
        reply += kVerticalOrders[random.Below(kVerticalOrders.size())];
        reply += " GPS 19870101N";
        AppendDigits(reply, 24 + random.Below(25), 2);
        AppendDigits(reply, random.Below(60), 2);
        AppendDigits(reply, random.Below(60), 2);
        reply += " W";
        AppendDigits(reply, 67 + random.Below(58), 3);
        AppendDigits(reply, random.Below(60), 2);
        AppendDigits(reply, random.Below(60), 2);
        reply += " 1234 ";
        reply += kNames[random.Below(kNames.size())];
        reply += '\n';
    }
    return reply;
}

} // namespace tervane::bench
