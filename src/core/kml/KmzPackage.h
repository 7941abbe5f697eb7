#pragma once

// A KMZ package: one zip archive holding the KML document as "doc.kml", its first entry
// (a viewer takes the first KML entry as the document), then each icon the document's
// styles name, under "files/". The document inside is the KML document with its icon
// links pointing there and nothing else changed, so the package shows with no network.
//
// The core decides what goes in and in which order; the zip itself is written by an
// ArchiveWriter, an adapter over a zip library. The document reaches the package from a
// file of its own, never held whole in memory: a document can be many times the size of
// the reply it comes from.

#include "io/DocumentFile.h"
#include "kml/DocumentProgress.h"

#include <cstdint>
#include <filesystem>
#include <istream>
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

// What the processing dialog says while the package is packed, a step of its own.
inline constexpr std::string_view kInfoPacking = "Packing .kmz file...";

// The steps the packing counts (Start(kPackingSteps + 1), Advance(0 .. kPackingSteps)).
inline constexpr std::size_t kPackingSteps = 1000;

struct ArchiveEntry {
    std::string name;       // path inside the archive, '/'-separated
    std::string_view bytes; // the entry's content; must outlive WriteArchive
    // Or, when set, the content is the first `size` bytes of this stream, read from its
    // start while the archive is written.
    std::istream* stream = nullptr;
    std::uint64_t size = 0;
};

class ArchiveWriter {
public:
    virtual ~ArchiveWriter() = default;
    // Writes a zip archive holding `entries` in the order given to `out`, which must be
    // seekable (a file): each entry's header is completed once its data is written.
    // Progress, when given, counts the packing as described above; once it is Cancelled
    // the packing stops and returns false. False with `error` filled when the archive
    // could not be written (kMsgStreamRefused when `out` refused a write); whatever
    // reached `out` is then of no use.
    virtual bool WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out,
                              DocumentProgress* progress, std::string& error) = 0;
};

// The icon files the style table names, each once, in the order of first use:
// shaded_dot.png, star.png, triangle.png, square.png, donut.png.
std::vector<std::string_view> KmzIconFiles();

// Packs the `documentSize` bytes of `document` (written with its icon links under
// kKmzIconFolder) and every icon of KmzIconFiles, read from `iconDir`, into `out`, with
// the packing's progress. False with `error` filled when an icon cannot be read ("Could
// not read the icon <path>: <reason>") or the archive cannot be written.
bool WriteKmzPackage(std::ostream& out, std::istream& document, std::uint64_t documentSize,
                     const std::filesystem::path& iconDir, ArchiveWriter& archiver, DocumentProgress* progress,
                     std::string& error);

} // namespace tervane
