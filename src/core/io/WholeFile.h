#pragma once

// Local files read whole, each with a limit: a device such as /dev/zero or a huge file
// would otherwise grow the process without bound. Only a regular file is opened, and it
// is looked at first: opening a FIFO would wait for a writer.

#include <cstddef>
#include <filesystem>
#include <istream>
#include <string>

namespace tervane {

enum class WholeFileStatus {
    Read,
    CannotOpen,     // missing, no permission (`reason` says which)
    NotRegularFile, // nothing was read
    TooLarge,       // larger than the limit, or grew past it while read: nothing is kept
    CannotRead,     // opened, then reading failed (`reason` says why)
};

// Reads `file` whole into `text`, at most `maxBytes`. Anything but Read leaves `text`
// empty; `reason` is the system's word for CannotOpen and CannotRead, empty otherwise.
WholeFileStatus ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes, std::string& text,
                              std::string& reason);

// Reads the rest of `in` onto `text` until its end or until it holds more than
// `maxBytes` (the caller tells the two apart by the size). `expected`, the size a file
// says it has, makes the string that large once, so a file is read with one read and no
// copies. False when reading failed, as opposed to ending.
bool ReadBounded(std::istream& in, std::string& text, std::size_t maxBytes, std::size_t expected = 0);

} // namespace tervane
