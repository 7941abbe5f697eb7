#include "io/DocumentFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <random>
#include <system_error>

namespace tervane {

namespace {

constexpr std::string_view kMsgCreateFailed = "Could not create the ";
constexpr std::string_view kMsgWriteFailed = "Could not write the ";

std::string Reason(int errorNumber)
{
    return errorNumber != 0 ? std::generic_category().message(errorNumber) : std::string(kMsgStreamRefused);
}

// "Could not write the GPX file <path>: <reason>".
std::string PathMessage(std::string_view prefix, std::string_view kind, const std::filesystem::path& path,
                        const std::string& reason)
{
    std::string message(prefix);
    message += kind;
    message += " file ";
    message += path.string();
    message += ": ";
    message += reason;
    return message;
}

// The published temporary path for a signal handler: the text is written before the
// pointer is set and is not touched again until the pointer is cleared.
char g_temporaryPathText[4096];
std::atomic<const char*> g_temporaryPath{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

// Removes the temporary file unless the document was committed, whatever way the
// function is left.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path))
    {
        const std::string& text = m_path.native();
        if (g_temporaryPath.load() == nullptr && text.size() < sizeof g_temporaryPathText) {
            std::copy(text.begin(), text.end(), g_temporaryPathText);
            g_temporaryPathText[text.size()] = 0;
            g_temporaryPath.store(g_temporaryPathText);
            m_published = true;
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!m_committed) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
        }
        Unpublish();
    }
    const std::filesystem::path& Path() const { return m_path; }
    void Committed()
    {
        m_committed = true;
        Unpublish();
    }

private:
    // After the rename or the removal: a signal in between finds no file to remove.
    void Unpublish()
    {
        if (m_published) {
            g_temporaryPath.store(nullptr);
            m_published = false;
        }
    }

    std::filesystem::path m_path;
    bool m_committed = false;
    bool m_published = false;
};

} // namespace

// Hidden, and short whatever the document's name: a name the folder allows for the
// document must not fail for its temporary file.
std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target)
{
    std::random_device device;
    std::uniform_int_distribution<unsigned long long> distribution;
    char suffix[17];
    auto value = distribution(device);
    for (int i = 15; i >= 0; --i, value >>= 4)
        suffix[i] = "0123456789abcdef"[value & 0xF];
    suffix[16] = 0;
    std::string name = ".tervane-";
    name += suffix;
    name += ".tmp";
    return target.parent_path() / name;
}

bool WriteFileWhole(const std::filesystem::path& path, std::string_view kind, std::string& error,
                    const std::function<bool(std::ostream&, std::string&)>& writeTo)
{
    error.clear();
    TemporaryFile temporary(TemporaryPathBeside(path));

    std::ofstream out;
    errno = 0;
    out.open(temporary.Path(), std::ios::binary | std::ios::trunc);
    if (!out) {
        error = PathMessage(kMsgCreateFailed, kind, path, Reason(errno));
        return false;
    }

    std::string inner;
    bool written = writeTo(out, inner);
    if (written)
        written = static_cast<bool>(out.flush());
    int errorNumber = errno;
    out.close();
    if (written && out.fail()) {
        written = false;
        errorNumber = errno;
    }
    if (!written) {
        // A reason of the document's own (an icon that cannot be read) says more than the
        // stream's state.
        error = PathMessage(kMsgWriteFailed, kind, path,
                            inner.empty() || inner == kMsgStreamRefused ? Reason(errorNumber) : inner);
        return false;
    }

    std::error_code renameError;
    std::filesystem::rename(temporary.Path(), path, renameError);
    if (renameError) {
        error = PathMessage(kMsgWriteFailed, kind, path, renameError.message());
        return false;
    }
    temporary.Committed();
    return true;
}

const char* TemporaryDocumentPath() noexcept { return g_temporaryPath.load(); }

} // namespace tervane
