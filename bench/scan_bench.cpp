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
#include <fstream>
#include <string>

#include "bench_support.h"
#include "quillon/quillon.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChannels = 8;
constexpr int kBytesPerSample = 3;
constexpr std::uint32_t kSampleRate = 48000;

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v);
    out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

void putChunk(std::string& out, const char* id, const std::string& payload) {
    out.append(id, 4);
    putU32(out, static_cast<std::uint32_t>(payload.size()));
    out += payload;
    if (payload.size() % 2 == 1) out += '\0';
}

std::string bext() {
    std::string payload(602, '\0');
    const std::uint64_t tenOClock = 10ull * 3600 * kSampleRate;
    for (int i = 0; i < 8; ++i) payload[338 + i] = static_cast<char>(tenOClock >> (8 * i));
    return payload;
}

std::string ixml() {
    std::string text = "<?xml version=\"1.0\"?><BWFXML><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED><TRACK_LIST>";
    for (int k = 1; k <= kChannels; ++k)
        text += "<TRACK><CHANNEL_INDEX>" + std::to_string(k) + "</CHANNEL_INDEX><NAME>Mic " + std::to_string(k) +
                "</NAME></TRACK>";
    return text + "</TRACK_LIST></BWFXML>";
}

std::string format() {
    std::string payload;
    putU16(payload, 1);
    putU16(payload, kChannels);
    putU32(payload, kSampleRate);
    putU32(payload, kSampleRate * kChannels * kBytesPerSample);
    putU16(payload, kChannels * kBytesPerSample);
    putU16(payload, 8 * kBytesPerSample);
    return payload;
}

// Noise of about -12 dBFS on every track, so every track is active from the first frames on.
std::string noise(std::uint64_t frames) {
    std::string samples(frames * kChannels * kBytesPerSample, '\0');
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < samples.size(); i += kBytesPerSample) {
        state = state * 1664525u + 1013904223u;
        const std::int32_t sample = (static_cast<std::int32_t>(state >> 8) - (1 << 23)) / 4;
        for (int b = 0; b < kBytesPerSample; ++b) samples[i + b] = static_cast<char>(sample >> (8 * b));
    }
    return samples;
}

std::string recording(int seconds) {
    std::string body = "WAVE";
    putChunk(body, "bext", bext());
    putChunk(body, "iXML", ixml());
    putChunk(body, "fmt ", format());
    putChunk(body, "data", noise(static_cast<std::uint64_t>(seconds) * kSampleRate));
    std::string file = "RIFF";
    putU32(file, static_cast<std::uint32_t>(body.size()));
    return file + body;
}

// The generated folder, removed with its files when the benchmark ends.
class BenchFolder {
public:
    explicit BenchFolder(const fs::path& parent)
        : path_(parent / ("quillon-scan-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void fill(const fs::path& folder, int files, int seconds) {
    const std::string bytes = recording(seconds);
    for (int i = 1; i <= files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "T%03d.WAV", i);
        std::ofstream out(folder / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    std::printf("\nWarm cache (best of 3):\n");
    c.cat();
    const auto ours = bench::bestOf(3, c.scan);
    const auto cat = bench::bestOf(3, c.cat);
    bench::report("quillon scanDirectory", ours);
    bench::report("cat FILES > /dev/null", cat);
    std::printf("%-34s %8.1f us\n", "scan time per file", ours.seconds * 1e6 / files);
    bench::ratio("speed vs cat (target >= 10x)", ours, cat);
    if (c.mediainfo) {
        const auto mediainfo = bench::bestOf(3, c.mediainfo);
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
    const BenchFolder folder(parent);
    std::printf("Generating %d files, %d tracks, 24-bit, 48 kHz, %d s, all tracks active: %s\n", files, kChannels,
                seconds, folder.path().c_str());
    fill(folder.path(), files, seconds);
    return compare(folder.path(), files) ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "scan_bench: %s\n", e.what());
    return 1;
}
