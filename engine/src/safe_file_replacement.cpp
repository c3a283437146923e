#include "safe_file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "messages.h"

namespace quillon::detail {
namespace {

constexpr std::size_t kZeroBlockBytes = 64 * 1024;
// Reads of the check, aligned as reads past the system's cache must be.
constexpr std::size_t kReadBackBytes = 4u << 20;
constexpr std::size_t kDirectAlignment = 4096;

[[noreturn]] void failWrite() { throw std::runtime_error(msg::couldNotWriteOutput); }

std::optional<std::filesystem::perms> permissionsOf(const std::filesystem::path& path) {
    const std::filesystem::file_status status = std::filesystem::status(path);
    if (!std::filesystem::exists(status)) return std::nullopt;
    return status.permissions() & std::filesystem::perms::all;
}

void giveMode(int fd, std::filesystem::perms permissions) {
    const auto mode = static_cast<mode_t>(permissions);
    struct stat current {};
    if (::fstat(fd, &current) != 0) failWrite();
    if ((current.st_mode & 0777) == mode) return;
    if (::fchmod(fd, mode) != 0) failWrite();
}

// Makes the rename itself durable. Filesystems that cannot sync a folder
// say so with EINVAL; there is nothing more to do on them.
void syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path parent = file.parent_path();
    const std::filesystem::path folder = parent.empty() ? std::filesystem::path(".") : parent;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) failWrite();
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    if (!synced) failWrite();
}

struct ClosedOnExit {
    int fd;
    ~ClosedOnExit() {
        if (fd >= 0) ::close(fd);
    }
};

// Asks the system to forget the file's cached pages, so the next read of
// them comes from the medium.
void dropCachedPages(int fd) {
#if defined(POSIX_FADV_DONTNEED)
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#else
    (void)fd;
#endif
}

// Opens the file to read it past the system's cache where the file system
// allows it; where it does not, its cached pages have just been dropped.
int openUncached(const std::filesystem::path& path) {
#if defined(O_DIRECT)
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT); fd >= 0 || errno != EINVAL) return fd;
#endif
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#if defined(F_NOCACHE)
    if (fd >= 0) ::fcntl(fd, F_NOCACHE, 1);
#endif
    return fd;
}

}  // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path& destination) {
    std::filesystem::path name = "." + destination.stem().string() + "_compressing" + destination.extension().string();
    return destination.parent_path() / name;
}

SafeFileReplacement::SafeFileReplacement(std::filesystem::path destination, std::uint64_t size)
    : destination_(std::move(destination)),
      temporary_(temporaryPathFor(destination_)),
      replacedPermissions_(permissionsOf(destination_)),
      expectedSize_(size),
      digests_(size) {
    // A temporary file left by an interrupted run is stale: start afresh.
    ::unlink(temporary_.c_str());
    fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) throw std::runtime_error(msg::couldNotCreateOutput);
    try {
        reserve(size);
    } catch (...) {
        closeFile();
        ::unlink(temporary_.c_str());
        throw;
    }
}

SafeFileReplacement::~SafeFileReplacement() {
    closeFile();
    if (!renamed_) ::unlink(temporary_.c_str());
}

void SafeFileReplacement::write(const void* bytes, std::size_t size) {
    digests_.add(bytes, size);
    const auto* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd_, p, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failWrite();
        p += written;
        size -= static_cast<std::size_t>(written);
        written_ += static_cast<std::uint64_t>(written);
    }
}

void SafeFileReplacement::writeZeros(std::uint64_t count) {
    const std::vector<char> zeros(static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeroBlockBytes)), '\0');
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
        write(zeros.data(), n);
        count -= n;
    }
}

// The file keeps its size until it is written; a file system that cannot
// allocate ahead (some removable media) just writes as it goes.
void SafeFileReplacement::reserve(std::uint64_t size) {
#if defined(__linux__)
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        failWrite();
#endif
}

// On the medium itself where the system can say so: a drive's own cache is
// flushed too.
void SafeFileReplacement::makeDurable() {
#if defined(F_FULLFSYNC)
    if (::fcntl(fd_, F_FULLFSYNC) == 0) return;
#endif
    if (::fsync(fd_) != 0) failWrite();
}

// The whole file as the medium returns it, compared block by block with the
// digests of what was written: a card, drive or share that does not hold
// what it was given fails here, not later in someone's edit.
bool SafeFileReplacement::readsBackAsWritten() const {
    dropCachedPages(fd_);
    const ClosedOnExit file{openUncached(temporary_)};
    if (file.fd < 0) return false;
    const std::unique_ptr<unsigned char, decltype(&std::free)> buffer(
        static_cast<unsigned char*>(std::aligned_alloc(kDirectAlignment, kReadBackBytes)), &std::free);
    if (!buffer) throw std::bad_alloc();
    BlockDigests read(expectedSize_);
    std::uint64_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(file.fd, buffer.get(), kReadBackBytes, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        read.add(buffer.get(), static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return offset == written_ && read.digests() == digests_.digests();
}

void SafeFileReplacement::commit() {
    if (replacedPermissions_) giveMode(fd_, *replacedPermissions_);
    makeDurable();
    if (!readsBackAsWritten()) failWrite();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) failWrite();
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) failWrite();
    renamed_ = true;
    syncFolderOf(destination_);
}

void SafeFileReplacement::closeFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace quillon::detail
