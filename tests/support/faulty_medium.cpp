// A medium that does not hold what was written to it: a FUSE pass-through over FOLDER at MOUNTPOINT where, with
// --flip, every read of a file created through the mount returns one byte flipped past the file's first 64 KiB.
// Writes pass through unchanged, files that were there before read as they are, and the kernel keeps what it
// cached, so only a read that bypasses its cache reaches the fault. Runs until unmounted, then prints how many
// bytes it served from files created through it.
//   quillon_faulty_medium FOLDER MOUNTPOINT [--flip]
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace {

std::string folder;
bool flip = false;
std::set<std::string> created;  // paths, within the mount, of the files created through it
unsigned long long served = 0;   // bytes read from them

std::string real(const char* path) { return folder + path; }
int status(int result) { return result < 0 ? -errno : 0; }

int openAs(const char* path, int flags, mode_t mode, fuse_file_info* file) {
    const int fd = ::open(real(path).c_str(), flags & ~O_DIRECT, mode);  // the folder below wants no alignment
    if (fd < 0) return -errno;
    file->fh = fd;
    return 0;
}

const fuse_operations operations = [] {
    fuse_operations ops{};
    ops.init = [](fuse_conn_info* connection, fuse_config* config) -> void* {
        connection->want |= connection->capable & FUSE_CAP_WRITEBACK_CACHE;  // written pages stay cached
        config->kernel_cache = 1;
        return nullptr;
    };
    ops.getattr = [](const char* p, struct stat* st, fuse_file_info*) { return status(::lstat(real(p).c_str(), st)); };
    ops.readdir = [](const char* path, void* entries, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                     fuse_readdir_flags) {
        DIR* dir = ::opendir(real(path).c_str());
        if (!dir) return -errno;
        while (const dirent* entry = ::readdir(dir)) fill(entries, entry->d_name, nullptr, 0, fuse_fill_dir_flags{});
        return status(::closedir(dir));
    };
    ops.open = [](const char* path, fuse_file_info* file) { return openAs(path, file->flags, 0, file); };
    ops.create = [](const char* path, mode_t mode, fuse_file_info* file) {
        created.insert(path);
        return openAs(path, file->flags | O_CREAT, mode, file);
    };
    ops.read = [](const char* path, char* bytes, size_t size, off_t offset, fuse_file_info* file) {
        const ssize_t n = ::pread(static_cast<int>(file->fh), bytes, size, offset);
        const off_t at = std::max<off_t>(offset, 64 * 1024);
        if (!path || !created.contains(path) || n < 0) return n < 0 ? -errno : static_cast<int>(n);
        served += static_cast<unsigned long long>(n);
        if (flip && at < offset + n) bytes[at - offset] ^= 0x10;
        return static_cast<int>(n);
    };
    ops.write = [](const char*, const char* bytes, size_t size, off_t offset, fuse_file_info* file) {
        const ssize_t n = ::pwrite(static_cast<int>(file->fh), bytes, size, offset);
        return n < 0 ? -errno : static_cast<int>(n);
    };
    ops.fsync = [](const char*, int, fuse_file_info* file) { return status(::fsync(static_cast<int>(file->fh))); };
    ops.release = [](const char*, fuse_file_info* file) { return status(::close(static_cast<int>(file->fh))); };
    ops.utimens = [](const char* path, const timespec times[2], fuse_file_info*) {
        return status(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
    };
    ops.unlink = [](const char* path) {
        created.erase(path);
        return status(::unlink(real(path).c_str()));
    };
    ops.rename = [](const char* from, const char* to, unsigned int) {
        if (created.erase(from)) created.insert(to);
        return status(::rename(real(from).c_str(), real(to).c_str()));
    };
    return ops;
}();

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    folder = std::filesystem::absolute(argv[1]);  // the mount may run from another folder
    flip = argc > 3 && std::strcmp(argv[3], "--flip") == 0;
    char* args[] = {argv[0], const_cast<char*>("-f"), const_cast<char*>("-s"), argv[2]};
    const int status = fuse_main(4, args, &operations, nullptr);
    std::printf("%llu\n", served);
    return status;
}
