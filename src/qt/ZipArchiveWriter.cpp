#include "qt/ZipArchiveWriter.h"

#include <zip.h>

#include <dlfcn.h>

#include <array>
#include <memory>

namespace tervane {

namespace {

constexpr std::string_view kMsgZipFailed = "the zip archive could not be made: ";
constexpr std::string_view kMsgNoLibrary = "KMZ packages cannot be written here: ";

// libzip is loaded when the first package is written, not at start-up: it brings
// libcrypto and libbz2 with it, which the window's first paint would otherwise wait
// for. The header still declares every function, so each pointer has libzip's type.
struct ZipLibrary {
    decltype(&zip_error_strerror) error_strerror = nullptr;
    decltype(&zip_source_free) source_free = nullptr;
    decltype(&zip_source_buffer) source_buffer = nullptr;
    decltype(&zip_file_add) file_add = nullptr;
    decltype(&zip_get_error) get_error = nullptr;
    decltype(&zip_set_file_compression) set_file_compression = nullptr;
    decltype(&zip_error_init) error_init = nullptr;
    decltype(&zip_source_buffer_create) source_buffer_create = nullptr;
    decltype(&zip_error_fini) error_fini = nullptr;
    decltype(&zip_open_from_source) open_from_source = nullptr;
    decltype(&zip_source_keep) source_keep = nullptr;
    decltype(&zip_discard) discard = nullptr;
    decltype(&zip_close) close = nullptr;
    decltype(&zip_source_open) source_open = nullptr;
    decltype(&zip_source_error) source_error = nullptr;
    decltype(&zip_source_read) source_read = nullptr;
    decltype(&zip_source_close) source_close = nullptr;
    std::string problem; // why libzip could not be used; empty when it can

    ZipLibrary()
    {
        void* handle = dlopen(TERVANE_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            problem = std::string(kMsgNoLibrary) + dlerror();
            return;
        }
        Bind(handle, "zip_error_strerror", error_strerror);
        Bind(handle, "zip_source_free", source_free);
        Bind(handle, "zip_source_buffer", source_buffer);
        Bind(handle, "zip_file_add", file_add);
        Bind(handle, "zip_get_error", get_error);
        Bind(handle, "zip_set_file_compression", set_file_compression);
        Bind(handle, "zip_error_init", error_init);
        Bind(handle, "zip_source_buffer_create", source_buffer_create);
        Bind(handle, "zip_error_fini", error_fini);
        Bind(handle, "zip_open_from_source", open_from_source);
        Bind(handle, "zip_source_keep", source_keep);
        Bind(handle, "zip_discard", discard);
        Bind(handle, "zip_close", close);
        Bind(handle, "zip_source_open", source_open);
        Bind(handle, "zip_source_error", source_error);
        Bind(handle, "zip_source_read", source_read);
        Bind(handle, "zip_source_close", source_close);
    }

    template <typename Function> void Bind(void* handle, const char* name, Function& function)
    {
        function = reinterpret_cast<Function>(dlsym(handle, name));
        if (!function && problem.empty())
            problem = std::string(kMsgNoLibrary) + TERVANE_LIBZIP_SONAME + " has no " + name;
    }
};

// Loaded once, on first use, and kept for the life of the process.
const ZipLibrary& Zip()
{
    static const ZipLibrary library;
    return library;
}
constexpr std::size_t kCopyChunk = std::size_t{64} << 10;

std::string ZipErrorText(zip_error_t* zipError)
{
    return std::string(kMsgZipFailed) + Zip().error_strerror(zipError);
}

bool IsPng(std::string_view name)
{
    return name.ends_with(".png");
}

struct SourceRelease {
    void operator()(zip_source_t* source) const { Zip().source_free(source); }
};
using SourcePtr = std::unique_ptr<zip_source_t, SourceRelease>;

// Adds the entries to an archive open on the buffer; false with `error` set, the archive
// discarded.
bool AddEntries(zip_t* archive, const std::vector<ArchiveEntry>& entries, std::string& error)
{
    for (const ArchiveEntry& entry : entries) {
        zip_source_t* source = Zip().source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index =
            source ? Zip().file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE)
                   : -1;
        if (index < 0) {
            if (source)
                Zip().source_free(source);
            error = ZipErrorText(Zip().get_error(archive));
            return false;
        }
        if (IsPng(entry.name) &&
            Zip().set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) < 0) {
            error = ZipErrorText(Zip().get_error(archive));
            return false;
        }
    }
    return true;
}

} // namespace

bool ZipArchiveWriter::WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out,
                                    std::string& error)
{
    error = Zip().problem;
    if (!error.empty())
        return false;
    zip_error_t zipError;
    Zip().error_init(&zipError);
    SourcePtr buffer(Zip().source_buffer_create(nullptr, 0, 0, &zipError));
    if (!buffer) {
        error = ZipErrorText(&zipError);
        Zip().error_fini(&zipError);
        return false;
    }
    zip_t* archive = Zip().open_from_source(buffer.get(), ZIP_TRUNCATE, &zipError);
    if (!archive) {
        error = ZipErrorText(&zipError);
        Zip().error_fini(&zipError);
        return false;
    }
    Zip().error_fini(&zipError);
    // The archive takes over one reference to the buffer and drops it when closed; ours
    // keeps the written bytes readable after that.
    Zip().source_keep(buffer.get());

    if (!AddEntries(archive, entries, error)) {
        Zip().discard(archive);
        return false;
    }
    if (Zip().close(archive) < 0) {
        error = ZipErrorText(Zip().get_error(archive));
        Zip().discard(archive);
        return false;
    }

    if (Zip().source_open(buffer.get()) < 0) {
        error = ZipErrorText(Zip().source_error(buffer.get()));
        return false;
    }
    std::array<char, kCopyChunk> chunk;
    zip_int64_t count = 0;
    while ((count = Zip().source_read(buffer.get(), chunk.data(), chunk.size())) > 0) {
        if (!out.write(chunk.data(), static_cast<std::streamsize>(count))) {
            error = kMsgStreamRefused;
            break;
        }
    }
    if (count < 0)
        error = ZipErrorText(Zip().source_error(buffer.get()));
    Zip().source_close(buffer.get());
    return error.empty();
}

} // namespace tervane
