#include "ui/OutputFolder.h"

#include <system_error>

#include <unistd.h>

namespace tervane {

namespace {

bool IsWritableFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::filesystem::path OutputFolderFor(const std::filesystem::path& programDir,
                                      const std::filesystem::path& documentsDir)
{
    return IsWritableFolder(programDir) ? programDir : documentsDir / kOutputSubfolder;
}

bool MakeOutputFolder(const std::filesystem::path& folder, std::string& error)
{
    error.clear();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        // The reason mkdir gave; the document's own write would only find the folder
        // missing.
        error = "Could not create the folder " + folder.string() + " for the documents: " + ec.message();
        return false;
    }
    return true;
}

} // namespace tervane
