#include "kml/KmzPackage.h"

#include "kml/StyleTable.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tervane {

namespace {

constexpr std::string_view kMsgIconUnreadable = "Could not read the icon ";

bool ReadIcon(const std::filesystem::path& path, std::string& bytes, std::string& error)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in)
        content << in.rdbuf();
    if (!in || in.bad()) {
        const int errorNumber = errno != 0 ? errno : ENOENT;
        error = std::string(kMsgIconUnreadable) + path.string() + ": " +
                std::generic_category().message(errorNumber);
        return false;
    }
    bytes = std::move(content).str();
    return true;
}

} // namespace

std::vector<std::string_view> KmzIconFiles()
{
    std::vector<std::string_view> files;
    for (const KmlStyle& style : kStyleTable) {
        if (style.kind == KmlStyleKind::Icon &&
            std::find(files.begin(), files.end(), style.iconFile) == files.end())
            files.push_back(style.iconFile);
    }
    return files;
}

bool WriteKmzPackage(std::ostream& out, std::istream& document, std::uint64_t documentSize,
                     const std::filesystem::path& iconDir, ArchiveWriter& archiver, DocumentProgress* progress,
                     std::string& error)
{
    error.clear();
    const std::vector<std::string_view> iconFiles = KmzIconFiles();
    std::vector<std::string> icons(iconFiles.size());
    std::vector<ArchiveEntry> entries;
    entries.push_back({std::string(kKmzDocumentName), {}, &document, documentSize});
    for (std::size_t i = 0; i < iconFiles.size(); ++i) {
        if (!ReadIcon(iconDir / iconFiles[i], icons[i], error))
            return false;
        entries.push_back({std::string(kKmzIconFolder) + std::string(iconFiles[i]), icons[i], nullptr, 0});
    }
    if (progress)
        progress->NextStep(kInfoPacking);
    return archiver.WriteArchive(entries, out, progress, error);
}

} // namespace tervane
