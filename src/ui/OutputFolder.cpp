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

std::filesystem::path ChooseOutputFolder(const std::filesystem::path& programDir,
                                         const std::filesystem::path& documentsDir)
{
    if (IsWritableFolder(programDir)) {
        return programDir;
    }
    std::filesystem::path folder = documentsDir / kOutputSubfolder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

} // namespace tervane
