#include "datasheets/DatasheetCache.h"

#include "io/DocumentFile.h"
#include "io/WholeFile.h"
#include "text/FileName.h"

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace tervane {

namespace {

constexpr std::string_view kMagicLine = "Tervane datasheet\n";
constexpr std::string_view kFetchedPrefix = "fetched ";
constexpr std::string_view kFileExtension = ".txt";
// The header's three lines at their longest.
constexpr std::size_t kMaxHeaderBytes = 64;

} // namespace

std::filesystem::path DatasheetCacheFolder(std::string_view xdgCacheHome, std::string_view home)
{
    std::filesystem::path base;
    if (!xdgCacheHome.empty() && xdgCacheHome.front() == '/')
        base = xdgCacheHome;
    else if (!home.empty())
        base = std::filesystem::path(home) / ".cache";
    else
        return {};
    return base / "Tervane" / "datasheets";
}

std::filesystem::path UserDatasheetCacheFolder()
{
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::string_view(value) : std::string_view();
    };
    return DatasheetCacheFolder(variable("XDG_CACHE_HOME"), variable("HOME"));
}

bool DatasheetCache::UsablePid(std::string_view pid)
{
    // "." and ".." name files of their own once the extension is added.
    return !pid.empty() && IsUsableFileName(pid);
}

std::filesystem::path DatasheetCache::FileOf(std::string_view pid) const
{
    std::string name(pid);
    name += kFileExtension;
    return m_folder / name;
}

std::optional<CachedDatasheet> DatasheetCache::Find(std::string_view pid) const
{
    if (m_folder.empty() || !UsablePid(pid))
        return std::nullopt;
    std::string text;
    std::string reason;
    if (ReadWholeFile(FileOf(pid), kMaxDatasheetBytes + kMaxHeaderBytes, text, reason) != WholeFileStatus::Read)
        return std::nullopt;
    std::string_view rest = text;
    if (!rest.starts_with(kMagicLine))
        return std::nullopt;
    rest.remove_prefix(kMagicLine.size());
    if (!rest.starts_with(kFetchedPrefix))
        return std::nullopt;
    rest.remove_prefix(kFetchedPrefix.size());
    long long seconds = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), seconds);
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    if (ec != std::errc() || !rest.starts_with("\n\n"))
        return std::nullopt;
    rest.remove_prefix(2);
    CachedDatasheet cached;
    cached.page = rest;
    cached.fetched = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
    return cached;
}

bool DatasheetCache::Store(std::string_view pid, std::string_view page,
                           std::chrono::system_clock::time_point fetched, std::string& error) const
{
    if (m_folder.empty() || !UsablePid(pid)) {
        error = "no cache folder for it";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    if (ec) {
        error = "Could not create the folder " + m_folder.string() + ": " + ec.message();
        return false;
    }
    const long long seconds =
        std::chrono::duration_cast<std::chrono::seconds>(fetched.time_since_epoch()).count();
    return WriteFileWhole(FileOf(pid), "datasheet", error, [&](std::ostream& out, std::string&) {
        out << kMagicLine << kFetchedPrefix << std::to_string(seconds) << "\n\n";
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
        return static_cast<bool>(out);
    });
}

bool IsFresh(std::chrono::system_clock::time_point fetched, std::chrono::system_clock::time_point now)
{
    // A time ahead of the clock (a clock set back) is not taken for fresh for ever.
    return fetched <= now && now - fetched < kDatasheetFreshness;
}

} // namespace tervane
