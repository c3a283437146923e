// Crash-safe, proven writing of a whole file: the bytes go to a hidden
// temporary file beside the destination, which takes the destination's name
// only after every byte is on the medium and has been read back from it as
// written. Whatever fails, the destination keeps its old content (or stays
// absent) and the temporary file is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "block_digest.h"

namespace quillon::detail {

// The hidden name beside `destination` that a write goes to first:
// ".<stem>_compressing<extension>".
std::filesystem::path temporaryPathFor(const std::filesystem::path& destination);

class SafeFileReplacement {
public:
    // Creates the temporary file for `destination`, replacing a stale one,
    // and allocates room for the `size` bytes it will hold, so a disk that
    // cannot hold them fails at once. Throws "Could not create output file"
    // when it cannot be created, "Could not write output file" when the room
    // cannot be had, and the filesystem error when the destination's status
    // cannot be queried.
    SafeFileReplacement(std::filesystem::path destination, std::uint64_t size);
    ~SafeFileReplacement();
    SafeFileReplacement(const SafeFileReplacement&) = delete;
    SafeFileReplacement& operator=(const SafeFileReplacement&) = delete;

    // Both throw "Could not write output file" when a byte cannot be written.
    void write(const void* bytes, std::size_t size);
    void writeZeros(std::uint64_t count);

    // Where the bytes are going until `commit`.
    const std::filesystem::path& temporaryPath() const { return temporary_; }

    // Gives the temporary file the permission bits of the file it replaces,
    // makes it durable, reads it back from the medium (not from the system's
    // cache) and compares it with what was written, then renames it onto
    // the destination and syncs the folder. Throws "Could not write output
    // file" on any failure or difference; the temporary file is then gone
    // and the destination untouched.
    void commit();

private:
    void reserve(std::uint64_t size);
    void closeFile();
    void makeDurable();
    bool readsBackAsWritten() const;

    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    std::optional<std::filesystem::perms> replacedPermissions_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::uint64_t expectedSize_;
    BlockDigests digests_;  // of the bytes handed to write()
    bool renamed_ = false;
};

}  // namespace quillon::detail
