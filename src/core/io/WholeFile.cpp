#include "io/WholeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tervane {

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 16;

} // namespace

bool ReadBounded(std::istream& in, std::string& text, std::size_t maxBytes, std::size_t expected)
{
    text.reserve(std::min(expected, maxBytes + 1));
    while (in && text.size() <= maxBytes) {
        const std::size_t before = text.size();
        // The look ahead keeps a file read whole from growing the string only to find
        // its end; a file that grew meanwhile is read on all the same.
        if (before == text.capacity() && before > 0 && in.peek() == std::istream::traits_type::eof())
            break;
        const std::size_t room = text.capacity() > before ? text.capacity() - before : kReadBlock;
        const std::size_t wanted = std::min(room, maxBytes + 1 - before);
        text.resize(before + wanted);
        in.read(text.data() + before, static_cast<std::streamsize>(wanted));
        text.resize(before + static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

WholeFileStatus ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes, std::string& text,
                              std::string& reason)
{
    text.clear();
    reason.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec) {
        reason = ec.message();
        return WholeFileStatus::CannotOpen;
    }
    if (!std::filesystem::is_regular_file(status))
        return WholeFileStatus::NotRegularFile;
    std::size_t expected = 0;
    if (const auto size = std::filesystem::file_size(file, ec); !ec) {
        if (size > maxBytes)
            return WholeFileStatus::TooLarge;
        expected = static_cast<std::size_t>(size);
    }
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno != 0 ? errno : ENOENT);
        return WholeFileStatus::CannotOpen;
    }
    // A file that grows while it is read may hold more than it said.
    const bool readWell = ReadBounded(in, text, maxBytes, expected);
    if (text.size() > maxBytes) {
        text.clear();
        return WholeFileStatus::TooLarge;
    }
    if (!readWell) {
        reason = std::strerror(errno);
        text.clear();
        return WholeFileStatus::CannotRead;
    }
    return WholeFileStatus::Read;
}

} // namespace tervane
