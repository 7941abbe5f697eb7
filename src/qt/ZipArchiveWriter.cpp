#include "qt/ZipArchiveWriter.h"

#include <zip.h>

#include <cerrno>
#include <cstdint>
#include <list>

namespace tervane {

namespace {

constexpr std::string_view kMsgZipFailed = "the zip archive could not be made: ";

std::string ZipErrorText(zip_error_t* zipError)
{
    return std::string(kMsgZipFailed) + zip_error_strerror(zipError);
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
        zip_error_set(&error, zipCode, refusedErrno);
        return -1;
    }
};

zip_int64_t ArchiveOutputCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto& output = *static_cast<ArchiveOutput*>(state);
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    case ZIP_SOURCE_STAT: {
        // An empty source: the archive starts with no entries.
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &output.error);
        if (!stat)
            return -1;
        zip_stat_init(stat);
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
        auto* seek = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &output.error);
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
        return zip_error_to_data(&output.error, data, length);
    default:
        zip_error_set(&output.error, ZIP_ER_OPNOTSUPP, 0);
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
            zip_error_set(&input.error, ZIP_ER_SEEK, errno);
            return -1;
        }
        return 0;
    case ZIP_SOURCE_READ: {
        input.in.read(static_cast<char*>(data), static_cast<std::streamsize>(length));
        if (input.in.bad()) {
            zip_error_set(&input.error, ZIP_ER_READ, errno);
            return -1;
        }
        const auto count = static_cast<std::uint64_t>(input.in.gcount());
        if (!input.packing.Count(count)) {
            zip_error_set(&input.error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        return static_cast<zip_int64_t>(count);
    }
    case ZIP_SOURCE_STAT: {
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &input.error);
        if (!stat)
            return -1;
        zip_stat_init(stat);
        stat->size = input.size;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&input.error, data, length);
    default:
        zip_error_set(&input.error, ZIP_ER_OPNOTSUPP, 0);
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
            zip_error_init(&inputs.back().error);
            source = zip_source_function(archive, EntryInputCallback, &inputs.back());
        } else {
            source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        }
        const zip_int64_t index =
            source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE)
                   : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            error = ZipErrorText(zip_get_error(archive));
            return false;
        }
        if (IsPng(entry.name) &&
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) < 0) {
            error = ZipErrorText(zip_get_error(archive));
            return false;
        }
    }
    return true;
}

} // namespace

bool ZipArchiveWriter::WriteArchive(const std::vector<ArchiveEntry>& entries, std::ostream& out,
                                    DocumentProgress* progress, std::string& error)
{
    error.clear();
    if (progress) {
        progress->Start(kPackingSteps + 1);
        progress->Advance(0);
    }
    ArchiveOutput output{out, {}, false, 0};
    zip_error_init(&output.error);
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* target = zip_source_function_create(ArchiveOutputCallback, &output, &zipError);
    zip_t* archive = target ? zip_open_from_source(target, ZIP_CREATE | ZIP_TRUNCATE, &zipError) : nullptr;
    if (!archive) {
        error = ZipErrorText(&zipError);
        if (target)
            zip_source_free(target);
        zip_error_fini(&zipError);
        zip_error_fini(&output.error);
        return false;
    }
    zip_error_fini(&zipError);

    // The entries' sources read from `inputs` until the archive is closed or discarded.
    std::list<EntryInput> inputs;
    Packing packing;
    packing.progress = progress;
    zip_register_cancel_callback_with_state(archive, PackingCancelled, nullptr, &packing);
    bool written = AddEntries(archive, entries, inputs, packing, error);
    if (written && zip_close(archive) < 0) {
        written = false;
        error = output.refused ? std::string(kMsgStreamRefused) : ZipErrorText(zip_get_error(archive));
    }
    if (!written)
        zip_discard(archive);
    for (EntryInput& input : inputs)
        zip_error_fini(&input.error);
    zip_error_fini(&output.error);
    if (written && progress)
        progress->Advance(kPackingSteps);
    // The file's message gives the system's reason for a refused write.
    if (output.refused)
        errno = output.refusedErrno;
    return written;
}

} // namespace tervane
