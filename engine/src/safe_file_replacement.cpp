#include "safe_file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "messages.h"

namespace quillon::detail {
namespace {

constexpr std::size_t kZeroBlockBytes = 64 * 1024;
constexpr std::uint64_t kWritebackBytes = 8u << 20;

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

}  // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path& destination) {
    std::filesystem::path name = "." + destination.stem().string() + "_compressing" + destination.extension().string();
    return destination.parent_path() / name;
}

SafeFileReplacement::SafeFileReplacement(std::filesystem::path destination)
    : destination_(std::move(destination)),
      temporary_(temporaryPathFor(destination_)),
      replacedPermissions_(permissionsOf(destination_)) {
    // A temporary file left by an interrupted run is stale: start afresh.
    ::unlink(temporary_.c_str());
    fd_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) throw std::runtime_error(msg::couldNotCreateOutput);
}

SafeFileReplacement::~SafeFileReplacement() {
    closeFile();
    if (!renamed_) ::unlink(temporary_.c_str());
}

void SafeFileReplacement::write(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd_, p, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failWrite();
        p += written;
        size -= static_cast<std::size_t>(written);
        written_ += static_cast<std::uint64_t>(written);
    }
    startWriteback();
}

// Has the disk start on what is written so far while the rest is written,
// so the sync at the end has little left to wait for. Only a hint: the sync
// reports any failure.
void SafeFileReplacement::startWriteback() {
    if (written_ - writebackFrom_ < kWritebackBytes) return;
#if defined(__linux__)
    ::sync_file_range(fd_, static_cast<off_t>(writebackFrom_), static_cast<off_t>(written_ - writebackFrom_),
                      SYNC_FILE_RANGE_WRITE);
#endif
    writebackFrom_ = written_;
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

bool SafeFileReplacement::holds(std::uint64_t offset, const void* bytes, std::size_t size) {
    readBack_.resize(size);
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::pread(fd_, readBack_.data() + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return std::memcmp(readBack_.data(), bytes, size) == 0;
}

void SafeFileReplacement::commit() {
    if (replacedPermissions_) giveMode(fd_, *replacedPermissions_);
    if (::fsync(fd_) != 0) failWrite();
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
