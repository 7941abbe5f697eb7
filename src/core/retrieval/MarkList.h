#pragma once

// Reads the mark-list service's reply: one fixed-column line per mark.
//
//   | columns | field                | columns | field               |
//   |  7-12   | pid                  |  31-36  | latitudeText        |
//   |  14     | horizontalOrder      |  38     | longitudeHemisphere |
//   |  16     | verticalOrder        |  39-45  | longitudeText       |
//   |  30     | latitudeHemisphere   |  52-end | designation         |
//
// A mark line is any line whose fourth character is '.'. Lines are cut at LF; a CR
// before it stays in the last field. A first line starting "INPUT ERR" is the
// service's input-error reply.

#include <string>
#include <string_view>
#include <vector>

namespace tervane {

inline constexpr std::string_view kMsgNoMarks = "No marks found!";

struct MarkRecord {
    std::string pid;
    std::string horizontalOrder;
    std::string verticalOrder;
    std::string latitudeHemisphere;
    std::string latitudeText;
    std::string longitudeHemisphere;
    std::string longitudeText;
    std::string designation; // the mark's name
};

enum class ReplyOutcome { InputError, NoMarks, Marks };

struct MarkListReply {
    ReplyOutcome outcome = ReplyOutcome::NoMarks;
    std::string message;             // InputError: the reply's first line
    std::vector<MarkRecord> records; // Marks: at least one, in reply order
};

// Reads `reply`, applying the order-code rules of `controlCode` (CORS: horizontal order
// "S"; vertical types: horizontal order empty).
MarkListReply ReadMarkList(std::string_view reply, std::string_view controlCode);

} // namespace tervane
