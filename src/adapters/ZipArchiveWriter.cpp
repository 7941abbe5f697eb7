#include "adapters/ZipArchiveWriter.h"

#include <zip.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdint>
#include <list>

namespace tervane {

namespace {

constexpr std::string_view kMsgZipFailed = "the zip archive could not be made: ";
constexpr std::string_view kMsgNoLibrary = "KMZ packages cannot be written here: ";

// libzip is loaded when the first package is written, not at start-up: it brings
// libcrypto and libbz2 with it, which the window's first paint would otherwise wait
// for. The header still declares every function, so each pointer has libzip's type.
struct ZipLibrary {
    decltype(&zip_close) close = nullptr;
    decltype(&zip_discard) discard = nullptr;
    decltype(&zip_error_fini) error_fini = nullptr;
    decltype(&zip_error_init) error_init = nullptr;
    decltype(&zip_error_set) error_set = nullptr;
    decltype(&zip_error_strerror) error_strerror = nullptr;
    decltype(&zip_error_to_data) error_to_data = nullptr;
    decltype(&zip_file_add) file_add = nullptr;
    decltype(&zip_get_error) get_error = nullptr;
    decltype(&zip_open_from_source) open_from_source = nullptr;
    decltype(&zip_register_cancel_callback_with_state) register_cancel_callback_with_state = nullptr;
    decltype(&zip_set_file_compression) set_file_compression = nullptr;
    decltype(&zip_source_buffer) source_buffer = nullptr;
    decltype(&zip_source_free) source_free = nullptr;
    decltype(&zip_source_function) source_function = nullptr;
    decltype(&zip_source_function_create) source_function_create = nullptr;
    decltype(&zip_stat_init) stat_init = nullptr;
    std::string problem; // why libzip could not be used; empty when it can

    ZipLibrary()
    {
        void* handle = dlopen(TERVANE_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            problem = std::string(kMsgNoLibrary) + dlerror();
            return;
        }
        Bind(handle, "zip_close", close);
        Bind(handle, "zip_discard", discard);
        Bind(handle, "zip_error_fini", error_fini);
        Bind(handle, "zip_error_init", error_init);
        Bind(handle, "zip_error_set", error_set);
        Bind(handle, "zip_error_strerror", error_strerror);
        Bind(handle, "zip_error_to_data", error_to_data);
        Bind(handle, "zip_file_add", file_add);
        Bind(handle, "zip_get_error", get_error);
        Bind(handle, "zip_open_from_source", open_from_source);
        Bind(handle, "zip_register_cancel_callback_with_state", register_cancel_callback_with_state);
        Bind(handle, "zip_set_file_compression", set_file_compression);
        Bind(handle, "zip_source_buffer", source_buffer);
        Bind(handle, "zip_source_free", source_free);
        Bind(handle, "zip_source_function", source_function);
        Bind(handle, "zip_source_function_create", source_function_create);
        Bind(handle, "zip_stat_init", stat_init);
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


std::string ZipErrorText(zip_error_t* zipError)
{
    return std::string(kMsgZipFailed) + Zip().error_strerror(zipError);
}

bool IsPng(std::string_view name)
{
    return name.ends_with(".png");
}

// The archive's own source: libzip writes the archive through it into the caller's stream
// and seeks back to complete each entry's header. Nothing is read: the archive is new.
struct ArchiveOutput {
    std::ostream& out;
    zip_error_t error{};
    bool refused = false; // the stream refused a write or a seek
    int refusedErrno = 0; // errno as the refusal left it

    zip_int64_t Fail(int zipCode)
    {
        if (!refused) {
            refused = true;
            refusedErrno = errno;
        }
        Zip().error_set(&error, zipCode, refusedErrno);
        return -1;
    }
};

// libzip's ZIP_SOURCE_GET_ARGS, through the loaded library.
template <typename Args> Args* SourceArgs(void* data, zip_uint64_t length, zip_error_t* error)
{
    if (length < sizeof(Args)) {
        Zip().error_set(error, ZIP_ER_INVAL, 0);
        return nullptr;
    }
    return static_cast<Args*>(data);
}

zip_int64_t ArchiveOutputCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto& output = *static_cast<ArchiveOutput*>(state);
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    case ZIP_SOURCE_STAT: {
        // An empty source: the archive starts with no entries.
        auto* stat = SourceArgs<zip_stat_t>(data, length, &output.error);
        if (!stat)
            return -1;
        Zip().stat_init(stat);
        stat->size = 0;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_BEGIN_WRITE:
    case ZIP_SOURCE_ROLLBACK_WRITE: // the caller removes its temporary file
    case ZIP_SOURCE_REMOVE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_READ:
        return 0; // nothing to read in a new archive
    case ZIP_SOURCE_WRITE:
        if (!output.out.write(static_cast<const char*>(data), static_cast<std::streamsize>(length)))
            return output.Fail(ZIP_ER_WRITE);
        return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE: {
        auto* seek = SourceArgs<zip_source_args_seek_t>(data, length, &output.error);
        if (!seek)
            return -1;
        const auto way = seek->whence == SEEK_SET   ? std::ios::beg
                         : seek->whence == SEEK_CUR ? std::ios::cur
                                                    : std::ios::end;
        if (!output.out.seekp(seek->offset, way))
            return output.Fail(ZIP_ER_SEEK);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE: {
        const std::streamoff position = output.out.tellp();
        return position < 0 ? output.Fail(ZIP_ER_TELL) : static_cast<zip_int64_t>(position);
    }
    case ZIP_SOURCE_COMMIT_WRITE:
        return output.out.flush() ? 0 : output.Fail(ZIP_ER_WRITE);
    case ZIP_SOURCE_ERROR:
        return Zip().error_to_data(&output.error, data, length);
    default:
        Zip().error_set(&output.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Carries the packing's progress out of libzip's callbacks, which are C. libzip reports
// its own progress only between entries, so the packing is counted by the bytes read
// from the streamed entries (the document, nearly all of the work). Once the progress is
// cancelled the read fails and the cancel callback answers, so that libzip stops.
struct Packing {
    DocumentProgress* progress = nullptr;
    std::uint64_t total = 0; // bytes of all streamed entries
    std::uint64_t read = 0;
    std::size_t reported = 0;
    bool stopped = false;

    // False when the progress stopped the packing.
    bool Count(std::uint64_t bytes)
    {
        read += bytes;
        if (!progress || stopped)
            return !stopped;
        // The last step waits for the archive's directory.
        const std::size_t step =
            total == 0 ? 0 : static_cast<std::size_t>(static_cast<double>(read) / static_cast<double>(total) *
                                                      static_cast<double>(kPackingSteps - 1));
        if (step <= reported)
            return true;
        reported = step;
        progress->Advance(step);
        stopped = progress->Cancelled();
        return !stopped;
    }
};

int PackingCancelled(zip_t*, void* state)
{
    return static_cast<Packing*>(state)->stopped ? 1 : 0;
}

// An entry read from a stream while it is packed, from the stream's start.
struct EntryInput {
    std::istream& in;
    std::uint64_t size;
    Packing& packing;
    zip_error_t error{};
};

zip_int64_t EntryInputCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto& input = *static_cast<EntryInput*>(state);
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    case ZIP_SOURCE_OPEN:
        input.in.clear();
        if (!input.in.seekg(0)) {
            Zip().error_set(&input.error, ZIP_ER_SEEK, errno);
            return -1;
        }
        return 0;
    case ZIP_SOURCE_READ: {
        input.in.read(static_cast<char*>(data), static_cast<std::streamsize>(length));
        if (input.in.bad()) {
            Zip().error_set(&input.error, ZIP_ER_READ, errno);
            return -1;
        }
        const auto count = static_cast<std::uint64_t>(input.in.gcount());
        if (!input.packing.Count(count)) {
            Zip().error_set(&input.error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        return static_cast<zip_int64_t>(count);
    }
    case ZIP_SOURCE_STAT: {
        auto* stat = SourceArgs<zip_stat_t>(data, length, &input.error);
        if (!stat)
            return -1;
        Zip().stat_init(stat);
        stat->size = input.size;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_ERROR:
        return Zip().error_to_data(&input.error, data, length);
    default:
        Zip().error_set(&input.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Adds the entries to the open archive; false with `error` set.
bool AddEntries(zip_t* archive, const std::vector<ArchiveEntry>& entries, std::list<EntryInput>& inputs,
                Packing& packing, std::string& error)
{
    for (const ArchiveEntry& entry : entries) {
        zip_source_t* source = nullptr;
        if (entry.stream) {
            inputs.push_back({*entry.stream, entry.size, packing, {}});
            packing.total += entry.size;
            Zip().error_init(&inputs.back().error);
            source = Zip().source_function(archive, EntryInputCallback, &inputs.back());
        } else {
            source = Zip().source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        }
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
                                    DocumentProgress* progress, std::string& error)
{
    error = Zip().problem;
    if (!error.empty())
        return false;
    if (progress) {
        progress->Start(kPackingSteps + 1);
        progress->Advance(0);
    }
    ArchiveOutput output{out, {}, false, 0};
    Zip().error_init(&output.error);
    zip_error_t zipError;
    Zip().error_init(&zipError);
    zip_source_t* target = Zip().source_function_create(ArchiveOutputCallback, &output, &zipError);
    zip_t* archive = target ? Zip().open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &zipError) : nullptr;
    if (!archive) {
        error = ZipErrorText(&zipError);
        if (target)
            Zip().source_free(target);
        Zip().error_fini(&zipError);
        Zip().error_fini(&output.error);
        return false;
    }
    Zip().error_fini(&zipError);

    // The entries' sources read from `inputs` until the archive is closed or discarded.
    std::list<EntryInput> inputs;
    Packing packing;
    packing.progress = progress;
    Zip().register_cancel_callback_with_state(archive, PackingCancelled, nullptr, &packing);
    bool written = AddEntries(archive, entries, inputs, packing, error);
    if (written && Zip().close(archive) < 0) {
        written = false;
        error = output.refused ? std::string(kMsgStreamRefused) : ZipErrorText(Zip().get_error(archive));
    }
    if (!written)
        Zip().discard(archive);
    for (EntryInput& input : inputs)
        Zip().error_fini(&input.error);
    Zip().error_fini(&output.error);
    if (written && progress)
        progress->Advance(kPackingSteps);
    // The file's message gives the system's reason for a refused write.
    if (output.refused)
        errno = output.refusedErrno;
    return written;
}

} // namespace tervane
