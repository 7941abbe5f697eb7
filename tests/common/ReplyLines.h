#pragma once

// Mark lines in the reply's fixed columns, and the files a run leaves, for tests at
// every level.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace tervane::testing {

// Pid in columns 7-12, orders in 14 and 16, latitude 30-36, longitude 38-45, name from 52.
inline std::string MarkLine(const std::string& pid, const std::string& lat, const std::string& lon,
                            const std::string& name, char horizontal = '2', char vertical = '1')
{
    std::string line(51, ' ');
    line.replace(3, 1, ".");
    line.replace(6, 6, pid);
    line[13] = horizontal;
    line[15] = vertical;
    line.replace(29, 7, lat);
    line.replace(37, 8, lon);
    return line + name;
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Made with its folder, owner-only unless told otherwise.
inline void WriteFile(const std::filesystem::path& path, const std::string& content,
                      std::filesystem::perms perms = std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    std::filesystem::permissions(path, perms);
}

// A folder of its own under the temporary folder, removed afterwards, and the names in it.
struct Folder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("tervane-test-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() { std::filesystem::remove_all(path); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        return names;
    }
    static inline int made = 0;
};

inline std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace tervane::testing
