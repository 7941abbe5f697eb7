#pragma once

// Fetches the datasheet pages of a run's marks for a field package, politely: a page the
// cache holds fresh is not asked for again, at most kDatasheetRequestsAtOnce requests are
// under way at a time, each through the run's transfer (its credentials rule, its time
// limit per request) and each refused past kMaxDatasheetBytes.
//
// Every PID ends up in the datasheets, included or missing with its reason:
//
//   | the page                                        | becomes                         |
//   |-------------------------------------------------|---------------------------------|
//   | in the cache, fresh                             | included from the cache         |
//   | in the cache, older, and offline or not to be   | included from the cache         |
//   |   had from the service                          |                                 |
//   | answered 2xx with a body                        | included, and kept in the cache |
//   | refused for want of a sign-in                   | missing: the service asks for a |
//   |                                                 |   sign-in                       |
//   | answered with an error status                   | missing: "the service answered  |
//   |                                                 |   404 Not Found"                |
//   | answered with nothing                           | missing: an empty page          |
//   | no reply (unreachable, time-out, too large)     | missing: the transfer's reason  |
//   | not in the cache, offline                       | missing: not in the cache       |
//   | after a group none of which was answered        | not asked: missing, or the      |
//   |                                                 |   cache's older copy            |
//   | a PID that cannot name a file                   | missing, never asked for        |

#include "datasheets/DatasheetCache.h"
#include "datasheets/Datasheets.h"
#include "web/WebPorts.h"

#include <chrono>
#include <cstddef>
#include <span>
#include <string_view>

namespace tervane {

inline constexpr std::size_t kDatasheetRequestsAtOnce = 4;

// What the run shows while the pages come, and whether the user ended the program.
class DatasheetProgress {
public:
    virtual ~DatasheetProgress() = default;
    // `done` of `total` pages are had (or known missing); first called with what the
    // cache held, then after every group of requests.
    virtual void Fetched(std::size_t done, std::size_t total) = 0;
    virtual bool Cancelled() const = 0;
};

struct DatasheetSource {
    std::string_view serviceUrl;            // "scheme://host[:port]", as for the links
    const DatasheetCache* cache = nullptr;  // none: nothing kept, nothing found
    bool offline = false;                   // the cache alone: the service is not asked
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    std::size_t requestsAtOnce = kDatasheetRequestsAtOnce;
};

// Fills `datasheets` with the page of every PID (repeats asked for once). False when the
// progress was cancelled, at once, with the requests under way ended by the transfer.
bool FetchDatasheets(std::span<const std::string_view> pids, const DatasheetSource& source, Transfer& transfer,
                     DatasheetProgress* progress, Datasheets& datasheets);

} // namespace tervane
