// Batch scan benchmark: a folder of recorder-like files (8 tracks, 24-bit,
// 48 kHz, 10 s each, every track carrying signal, bext and iXML before the
// samples). Compares, in the same run, scanDirectory over the folder with
// `cat` of every file (which reads all samples) and with `mediainfo` over the
// folder (which reads headers): first with a warm cache, then with the files
// evicted from it before each run. The generated folder is removed at the end.
//
// Usage: scan_bench [FILES] [SECONDS] [PARENT_FOLDER]
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

#include "bench_support.h"
#include "bench_wav.h"
#include "quillon/quillon.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChannels = 8;

// Every file is the same take: every track active, ten o'clock in bext and
// the tracks named in iXML, both before the samples.
void fill(const fs::path& folder, int files, int seconds) {
    const bench::TakeSpec take{
        .channels = kChannels,
        .frames = static_cast<std::uint64_t>(seconds) * bench::kSampleRate,
        .silentChannels = {},
        .timeReference = 10ull * 3600 * bench::kSampleRate,
        .ixml = bench::trackListIxml(kChannels, "<SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED>"),
        .noisePeakDbfs = -12.0};
    for (int i = 1; i <= files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "T%03d.WAV", i);
        bench::writeTake(folder / name, take);
    }
}

// Drops the folder's files from the page cache, so the next reader finds them on disk.
void evict(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const int fd = ::open(entry.path().c_str(), O_RDONLY);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Contenders {
    std::function<bench::Measurement()> scan;
    std::function<bench::Measurement()> cat;
    std::function<bench::Measurement()> mediainfo;  // empty when mediainfo is not installed
};

bool compareWarm(const Contenders& c, int files) {
    std::printf("\nWarm cache (medians of 5):\n");
    c.cat();
    const auto ours = bench::medianOf(5, c.scan);
    const auto cat = bench::medianOf(5, c.cat);
    bench::report("quillon scanDirectory", ours);
    bench::report("cat FILES > /dev/null", cat);
    std::printf("%-34s %8.1f us\n", "scan time per file", ours.seconds * 1e6 / files);
    bench::ratio("speed vs cat (target >= 10x)", ours, cat);
    if (c.mediainfo) {
        const auto mediainfo = bench::medianOf(5, c.mediainfo);
        bench::report("mediainfo FOLDER", mediainfo);
        bench::ratio("speed vs mediainfo (target >= 1x)", ours, mediainfo);
    }
    return ours.ok;
}

bool compareCold(const Contenders& c, const fs::path& folder) {
    std::printf("\nCold cache (files evicted before each run):\n");
    const auto cold = [&](const std::function<bench::Measurement()>& measure) {
        evict(folder);
        return measure();
    };
    const auto ours = cold(c.scan);
    const auto cat = cold(c.cat);
    bench::report("quillon scanDirectory", ours);
    bench::report("cat FILES > /dev/null", cat);
    bench::ratio("speed vs cat", ours, cat);
    if (c.mediainfo) {
        const auto mediainfo = cold(c.mediainfo);
        bench::report("mediainfo FOLDER", mediainfo);
        bench::ratio("speed vs mediainfo", ours, mediainfo);
    }
    return ours.ok;
}

bool compare(const fs::path& folder, int files) {
    const std::string everyFile = bench::quoted(folder) + "/*.WAV";
    Contenders c;
    c.scan = [&] {
        return bench::measureInChild([&] {
            const auto results = quillon::scanDirectory(folder, false, 0.001, 2, {});
            bool allActive = static_cast<int>(results.size()) == files;
            for (const auto& info : results) allActive = allActive && info.error.empty() && info.emptyCount() == 0;
            _exit(allActive ? 0 : 1);
        });
    };
    c.cat = [&] { return bench::measureCommand("cat " + everyFile + " > /dev/null"); };
    if (bench::haveCommand("mediainfo"))
        c.mediainfo = [&] { return bench::measureCommand("mediainfo " + bench::quoted(folder) + " > /dev/null"); };
    else
        std::printf("mediainfo is not installed (apt package mediainfo): that comparison is skipped\n");
    const bool warmOk = compareWarm(c, files);
    return compareCold(c, folder) && warmOk;
}

}  // namespace

int main(int argc, char** argv) try {
    const int files = argc > 1 ? std::stoi(argv[1]) : 300;
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 10;
    const fs::path parent = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path();
    const bench::ScratchFolder folder(parent, "quillon-scan-bench");
    std::printf("Generating %d files, %d tracks, 24-bit, 48 kHz, %d s, all tracks active: %s\n", files, kChannels,
                seconds, folder.path().c_str());
    fill(folder.path(), files, seconds);
    return compare(folder.path(), files) ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "scan_bench: %s\n", e.what());
    return 1;
}
