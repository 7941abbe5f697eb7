#pragma once

// Writes the zip archives of KMZ packages with libzip, straight into the caller's stream
// (its temporary file), so the caller's rename still decides when the package appears and
// no copy of the archive or of its document is held in memory. Icons (already compressed
// PNGs) are stored as they are; every other entry is deflated. The packing's progress
// follows the bytes of the streamed entries as libzip reads them, and the packing stops
// once the progress is cancelled. libzip itself is loaded when the first archive is
// written; where it cannot be, WriteArchive fails and says why.

#include "kml/KmzPackage.h"

namespace tervane {

class ZipArchiveWriter final : public ArchiveWriter {
public:
    bool WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out, DocumentProgress* progress,
                      std::string& error) override;
};

} // namespace tervane
