#pragma once

// Where the window writes its KML files: the program's folder when the user can write
// there (a build tree, a portable copy), else <documents>/Tervane, created as needed
// (an installed program's folder belongs to root).

#include <filesystem>
#include <string>

namespace tervane {

inline constexpr const char* kOutputSubfolder = "Tervane";

// The folder to write into. When the per-user folder cannot be created, it is still
// returned: writing the document then fails with a message that names it.
std::filesystem::path ChooseOutputFolder(const std::filesystem::path& programDir,
                                         const std::filesystem::path& documentsDir);

} // namespace tervane
