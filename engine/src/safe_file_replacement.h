// Crash-safe writing of a whole file: the bytes go to a hidden temporary
// file beside the destination, which takes the destination's name only
// after every byte is on disk. Whatever fails, the destination keeps its old
// content (or stays absent) and the temporary file is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace quillon::detail {

// The hidden name beside `destination` that a write goes to first:
// ".<stem>_compressing<extension>".
std::filesystem::path temporaryPathFor(const std::filesystem::path& destination);

class SafeFileReplacement {
public:
    // Creates the temporary file for `destination`, replacing a stale one.
    // Throws "Could not create output file" when it cannot be created, and
    // the filesystem error when the destination's status cannot be queried.
    explicit SafeFileReplacement(std::filesystem::path destination);
    ~SafeFileReplacement();
    SafeFileReplacement(const SafeFileReplacement&) = delete;
    SafeFileReplacement& operator=(const SafeFileReplacement&) = delete;

    // Both throw "Could not write output file" when a byte cannot be written.
    void write(const void* bytes, std::size_t size);
    void writeZeros(std::uint64_t count);

    // Where the bytes are going until `commit`, and how many were written.
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    std::uint64_t bytesWritten() const { return written_; }

    // Allocates the room for a file of `size` bytes before it is written, so
    // a disk that cannot hold it fails at once and the writing does not
    // allocate block by block. Throws "Could not write output file".
    void reserve(std::uint64_t size);

    // True when the file holds `bytes` at `offset`: they are read back from
    // it, as any reader would see them.
    bool holds(std::uint64_t offset, const void* bytes, std::size_t size);

    // Syncs and closes the temporary file, gives it the permission bits of
    // the file it replaces, renames it onto the destination and syncs the
    // folder. Throws "Could not write output file" on any failure; the
    // temporary file is then gone and the destination untouched.
    void commit();

private:
    void closeFile();
    void startWriteback();

    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    std::optional<std::filesystem::perms> replacedPermissions_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t writebackFrom_ = 0;  // bytes before this are on their way to the disk
    std::vector<unsigned char> readBack_;
    bool renamed_ = false;
};

}  // namespace quillon::detail
