#pragma once

// The region catalogue, `Country.dat`: regions, their states and each state's counties
// with three-character FIPS county codes. One record per line, tag in columns 1-2:
//
//   | tag  | record | columns read                                              |
//   | "RA" | region | 5-6 code ("US"), 8..end designation (trimmed)             |
//   | "RB" | state  | 5-6 state code; 5..end the state list entry               |
//   | "RC" | county | 5-7 FIPS code; 9..end county name (trimmed)               |
//
// Lines may end CR LF or LF alike. Comparisons are exact and case-sensitive.
//
// The two list readers read the file afresh on every call. The lookup reads it once,
// keeps it as the `RegionCatalogue`, and starts its scan at the state's own record
// through `StateIndex`.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

inline constexpr std::string_view kCatalogueFileName = "Country.dat";
// The catalogue is read whole; the shipped one is well under a megabyte. A larger file,
// or one that is not a regular file, is refused as unreadable.
inline constexpr std::size_t kMaxCatalogueBytes = std::size_t{64} * 1024 * 1024;

// Where a data file supplied with the program lies: programDir/name when it exists,
// else programDir/../share/tervane/name (the installed layout). Returns the first
// candidate when neither exists, so that the failure names a sensible path.
std::filesystem::path FindDataFile(const std::filesystem::path& programDir, std::string_view name);

// The state list entries: for every "RB" record, in file order, the line from column 5
// (blanks trimmed). False with `error` filled when the file cannot be read.
bool ListStates(const std::filesystem::path& file, std::vector<std::string>& states, std::string& error);

// The counties of every state record whose code is `stateCode`, in file order, and
// the designation of the region above the matching state (nullopt when the file has no
// region record; the caller's `SelectedRegion` then keeps its value).
struct CountyList {
    std::vector<std::string> counties;
    std::optional<std::string> regionDesignation;
};
bool ListCounties(const std::filesystem::path& file, std::string_view stateCode, CountyList& result,
                  std::string& error);

// The FIPS lookup, loaded at its first call and kept for the life of the window.
class RegionCatalogue {
public:
    explicit RegionCatalogue(std::filesystem::path file);

    // Fills `fipsCode` with the county's three-character code, or leaves it empty when
    // nothing matches (not a failure). `county` is already trimmed by the caller.
    // False with `error` filled when the file cannot be read; the next call tries again.
    bool GetStateCo(std::string_view state, std::string_view county, std::string& fipsCode,
                    std::string& error);

private:
    bool Load(std::string& error);

    std::filesystem::path m_file;
    std::vector<std::string> m_lines;
    std::string m_stateIndex;
    bool m_loaded = false;
};

} // namespace tervane
