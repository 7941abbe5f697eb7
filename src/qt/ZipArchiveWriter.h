#pragma once

// Writes the zip archives of KMZ packages with libzip. The archive is made in memory
// and then handed to the caller's stream, so the caller's temporary file and rename
// still decide when the package appears. Icons (already compressed PNGs) are stored as
// they are; every other entry is deflated. libzip itself is loaded when the first
// archive is written; where it cannot be, WriteArchive fails and says why.

#include "kml/KmzPackage.h"

namespace tervane {

class ZipArchiveWriter final : public ArchiveWriter {
public:
    bool WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out,
                      std::string& error) override;
};

} // namespace tervane
