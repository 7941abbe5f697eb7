#pragma once

// A KMZ package: one zip archive holding the KML document as "doc.kml", its first entry
// (a viewer takes the first KML entry as the document), then each icon the document's
// styles name, under "files/". The document inside is the KML document with its icon
// links pointing there and nothing else changed, so the package shows with no network.
//
// The core decides what goes in and in which order; the zip itself is written by an
// ArchiveWriter, an adapter over a zip library.

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

inline constexpr std::string_view kKmzDocumentName = "doc.kml";
// Where the icons lie inside the package; the document's icon links start with it.
inline constexpr std::string_view kKmzIconFolder = "files/";
// The data folder (beside the program, or in ../share/tervane) holding the icons.
inline constexpr std::string_view kIconFolderName = "icons";

struct ArchiveEntry {
    std::string name;       // path inside the archive, '/'-separated
    std::string_view bytes; // the entry's content; must outlive WriteArchive
};

// What a writer of the document says when the stream refuses a write; the file's
// message then gives the system's reason instead.
inline constexpr std::string_view kMsgStreamRefused = "the output refused a write";

class ArchiveWriter {
public:
    virtual ~ArchiveWriter() = default;
    // Writes a zip archive holding `entries` in the order given to `out`. False with
    // `error` filled when it could not (kMsgStreamRefused when `out` refused a write);
    // whatever reached `out` is then of no use.
    virtual bool WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out,
                              std::string& error) = 0;
};

// The icon files the style table names, each once, in the order of first use:
// shaded_dot.png, star.png, triangle.png, square.png, donut.png.
std::vector<std::string_view> KmzIconFiles();

// Packs `document` (written with its icon links under kKmzIconFolder) and every icon of
// KmzIconFiles, read from `iconDir`, into `out`. False with `error` filled when an icon
// cannot be read ("Could not read the icon <path>: <reason>") or the archive cannot be
// written.
bool WriteKmzPackage(std::ostream& out, std::string_view document, const std::filesystem::path& iconDir,
                     ArchiveWriter& archiver, std::string& error);

} // namespace tervane
