#include "qt/ZipArchiveWriter.h"

#include <zip.h>

#include <array>
#include <memory>

namespace tervane {

namespace {

constexpr std::string_view kMsgZipFailed = "the zip archive could not be made: ";
constexpr std::size_t kCopyChunk = std::size_t{64} << 10;

std::string ZipErrorText(zip_error_t* zipError)
{
    return std::string(kMsgZipFailed) + zip_error_strerror(zipError);
}

bool IsPng(std::string_view name)
{
    return name.ends_with(".png");
}

struct SourceRelease {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using SourcePtr = std::unique_ptr<zip_source_t, SourceRelease>;

// Adds the entries to an archive open on the buffer; false with `error` set, the archive
// discarded.
bool AddEntries(zip_t* archive, const std::vector<ArchiveEntry>& entries, std::string& error)
{
    for (const ArchiveEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
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
                                    std::string& error)
{
    error.clear();
    zip_error_t zipError;
    zip_error_init(&zipError);
    SourcePtr buffer(zip_source_buffer_create(nullptr, 0, 0, &zipError));
    if (!buffer) {
        error = ZipErrorText(&zipError);
        zip_error_fini(&zipError);
        return false;
    }
    zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &zipError);
    if (!archive) {
        error = ZipErrorText(&zipError);
        zip_error_fini(&zipError);
        return false;
    }
    zip_error_fini(&zipError);
    // The archive takes over one reference to the buffer and drops it when closed; ours
    // keeps the written bytes readable after that.
    zip_source_keep(buffer.get());

    if (!AddEntries(archive, entries, error)) {
        zip_discard(archive);
        return false;
    }
    if (zip_close(archive) < 0) {
        error = ZipErrorText(zip_get_error(archive));
        zip_discard(archive);
        return false;
    }

    if (zip_source_open(buffer.get()) < 0) {
        error = ZipErrorText(zip_source_error(buffer.get()));
        return false;
    }
    std::array<char, kCopyChunk> chunk;
    zip_int64_t count = 0;
    while ((count = zip_source_read(buffer.get(), chunk.data(), chunk.size())) > 0) {
        if (!out.write(chunk.data(), static_cast<std::streamsize>(count))) {
            error = kMsgStreamRefused;
            break;
        }
    }
    if (count < 0)
        error = ZipErrorText(zip_source_error(buffer.get()));
    zip_source_close(buffer.get());
    return error.empty();
}

} // namespace tervane
