#include "kml/KmzPackage.h"

#include "io/WholeFile.h"
#include "kml/StyleTable.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tervane {

namespace {

constexpr std::string_view kMsgIconUnreadable = "Could not read the icon ";

bool ReadIcon(const std::filesystem::path& path, std::string& bytes, std::string& error)
{
    // An icon is a few kilobytes; anything past this is not one of ours.
    constexpr std::size_t kMaxIconBytes = std::size_t{1} << 20;
    std::string reason;
    switch (ReadWholeFile(path, kMaxIconBytes, bytes, reason)) {
    case WholeFileStatus::Read:
        return true;
    case WholeFileStatus::NotRegularFile:
        reason = "not a regular file";
        break;
    case WholeFileStatus::TooLarge:
        reason = "larger than an icon can be";
        break;
    case WholeFileStatus::CannotOpen:
    case WholeFileStatus::CannotRead:
        break;
    }
    error = std::string(kMsgIconUnreadable) + path.string() + ": " + reason;
    return false;
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
