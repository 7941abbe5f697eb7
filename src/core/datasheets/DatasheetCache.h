#pragma once

// Datasheet pages kept between runs in the user's cache folder, one file per PID, each
// with the time it was fetched. A page younger than kDatasheetFreshness is used without
// asking the service again, so a package can be made again from a saved reply with no
// network at all.
//
// A file holds three header lines ("Tervane datasheet", "fetched <seconds since
// 1970-01-01 UTC>", an empty line) and then the page byte for byte. Files are written
// whole or not at all (a temporary file renamed over the old one). A file that does not
// read as such is no page: it is fetched again and replaced.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::chrono::hours kDatasheetFreshness{24 * 7};
// A datasheet page is a few kilobytes; anything past this is not one.
inline constexpr std::size_t kMaxDatasheetBytes = std::size_t{1} << 20;

// The cache folder: $XDG_CACHE_HOME/Tervane/datasheets when that is an absolute path,
// else ~/.cache/Tervane/datasheets; empty (no cache) when there is no home either.
std::filesystem::path DatasheetCacheFolder(std::string_view xdgCacheHome, std::string_view home);
// The same from this user's environment.
std::filesystem::path UserDatasheetCacheFolder();

struct CachedDatasheet {
    std::string page;
    std::chrono::system_clock::time_point fetched;
};

class DatasheetCache {
public:
    // An empty folder keeps nothing and finds nothing.
    explicit DatasheetCache(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    // Whether a PID can name a cache file: the rules of output file names (no folder
    // separator, no control character). A PID that cannot is never looked up or kept.
    static bool UsablePid(std::string_view pid);

    // The page kept for `pid`, whatever its age; nothing when none is kept or the file is
    // not one of ours.
    std::optional<CachedDatasheet> Find(std::string_view pid) const;

    // Keeps `page` as fetched at `fetched`, replacing what was kept. False, with the
    // system's reason, when it could not be kept (the run goes on without it).
    bool Store(std::string_view pid, std::string_view page, std::chrono::system_clock::time_point fetched,
               std::string& error) const;

    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path FileOf(std::string_view pid) const;

    std::filesystem::path m_folder;
};

// Whether a page fetched at `fetched` may still be used at `now` without asking again.
bool IsFresh(std::chrono::system_clock::time_point fetched, std::chrono::system_clock::time_point now);

} // namespace tervane
