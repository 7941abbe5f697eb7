#pragma once

// Writes a file whole or not at all: the content goes to a hidden temporary file beside
// the target and is renamed over it only when complete. On failure an earlier file of
// that name is untouched and no partial file remains. The temporary name is hidden and of
// fixed length (".tervane-" and 16 random hex digits, ".tmp"), so any name the folder
// allows for the target works. While it exists its path is published for a signal
// handler (TemporaryDocumentPath).

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace tervane {

// What a writer of the document says when the stream refuses a write; the file's
// message then gives the system's reason instead.
inline constexpr std::string_view kMsgStreamRefused = "the output refused a write";

// A hidden name of fixed length in `target`'s folder, fresh on every call.
std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target);

// Writes `path` through a temporary file: writeTo(stream, reason) fills the stream and
// returns false (with a reason of its own, or kMsgStreamRefused) when it could not. False
// with `error` filled: "Could not create the <kind> file <path>: <reason>" or "Could not
// write the <kind> file <path>: <reason>", the system's reason when the stream refused.
// Whatever writeTo throws passes on, the temporary file removed.
bool WriteFileWhole(const std::filesystem::path& path, std::string_view kind, std::string& error,
                    const std::function<bool(std::ostream&, std::string&)>& writeTo);

// The temporary file being written, as a null-terminated path, or null when none is.
// Safe to call in a signal handler, so that a program ended by a signal can remove it
// before it goes (the path is not changed while it is published).
const char* TemporaryDocumentPath() noexcept;

} // namespace tervane
