#pragma once

// The replies of the sample mark-list service: made-up but plausible survey marks, the
// same for the same query every time, laid out as the mark-list service lays out its
// replies. It stands in for the real service when trying the program and in the
// end-to-end tests; its marks are not survey data.
//
// A mark line (columns counted from 1):
//
//   | columns | content                      | columns | content                  |
//   | 1-3     | line number, right-aligned   | 30      | latitude hemisphere N/S  |
//   | 4       | "."                          | 31-36   | latitude DDMMSS          |
//   | 7-12    | PID: two letters, 4 digits   | 38      | longitude hemisphere W/E |
//   | 14      | horizontal order code        | 39-45   | longitude DDDMMSS        |
//   | 16      | vertical order code          | 52-end  | the mark's name          |
//
// Before the marks come two heading lines, which have no "." in column 4.
//
// Queries (keys "1" to "5" as the program sends them):
//   COUNTY:  1=COUNTY&2=<state code>&3=<FIPS code>&4=<control code>
//   RADIUS:  1=RADIUS&2=<latitude>&3=<longitude>&4=<miles>&5=<control code>
//            latitude N385323 or 385323N (north when no letter), longitude W0770213 or
//            0770213W (west when no letter); seconds may carry decimals; marks lie
//            inside the radius
//   PROJECT: 1=PROJECT&2=<project id>&3=N&4=X-0-0
// A missing value gives the "INPUT INCOMPLETE" reply; a value of the wrong form, an
// unknown query kind or control code gives the "INPUT ERROR: ..." reply. The project
// "NOMARKS" has no marks.

#include <map>
#include <string>
#include <string_view>

namespace tervane::sample {

inline constexpr std::string_view kMarkListPath = "/cgi-bin/get_mark_list.prl";
inline constexpr std::string_view kDatasheetPath = "/cgi-bin/ds_mark.prl";
inline constexpr std::string_view kDatasheetKey = "PidBox";
inline constexpr std::string_view kNoMarksProject = "NOMARKS";
inline constexpr int kMaxMarks = 400;

struct SampleReply {
    int status = 200;
    std::string body;
};

// The reply to a mark-list query, given its keys and values.
SampleReply AnswerMarkList(const std::map<std::string, std::string>& query);

// The datasheet page of a PID (two capital letters and four digits); 404 otherwise.
SampleReply AnswerDatasheet(std::string_view pid);

} // namespace tervane::sample
