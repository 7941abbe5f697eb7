#pragma once

// Where the window writes its KML files: the program's folder when the user can write
// there (a build tree, a portable copy), else <documents>/Tervane, created as needed
// (an installed program's folder belongs to root).

#include <filesystem>
#include <string>

namespace tervane {

inline constexpr const char* kOutputSubfolder = "Tervane";

// The folder the files go to, as it stands now; nothing is created.
std::filesystem::path OutputFolderFor(const std::filesystem::path& programDir,
                                      const std::filesystem::path& documentsDir);

// Makes the folder and its parents where missing. False, with a message naming the
// folder and the system's reason (a read-only file system, no permission), when it
// cannot be made.
bool MakeOutputFolder(const std::filesystem::path& folder, std::string& error);

} // namespace tervane
