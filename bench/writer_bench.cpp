// Slims a generated 500 MB recording (8 tracks, 24-bit, 48 kHz, tracks 3
// and 7 silent) with warm cache and compares, in the same run:
// - the writer against `cp` of the source followed by `sync` and a read of
//   the copy past the system's cache with `dd` (the writer makes its output
//   durable and reads it back from the disk, so its fair peer does too),
//   plain `cp`, and `sox SOURCE OUT remix` of the same kept channels;
// - `quillon-cli strip DIR` on a folder holding the take (scan, then write)
//   against `cat SRC && cp SRC DST && sync && dd if=DST iflag=direct`
//   (decide, copy, make durable, read back from the disk), and `strip
//   --overwrite` against the same into a temporary name followed by `mv`
//   over the original and `sync`; with the bytes each strip reads through
//   read(2) and from the disk.
// Each tool runs as its own process so its peak memory is its own; times are
// medians of 5 rounds.
//
//   writer_bench [folder]     folder for the generated files (default: temp)
//
// Targets: the writer within 1.25x of its peer, in place within 1.15x of the
// copy over a file, faster than sox, peak memory under 16 MB; each strip
// within 1.15x of its peer, reading at most 1.02x (2R + W) through read(2)
// (R the source's size, W the output's: one scan, one copy, one read-back)
// and at least 0.95 W from the disk. The writer's time includes its fresh
// analysis of the source, reported apart.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "bench_support.h"
#include "bench_wav.h"
#include "quillon/quillon.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChannels = 8;
constexpr std::uint64_t kTargetBytes = 500'000'000;
constexpr int kRounds = 5;
const std::vector<std::string> kKeptOneBased = {"1", "2", "4", "5", "6", "8"};

// bext, iXML with room left for edits, fmt and data, like a field recorder;
// tracks 3 and 7 are silent, the others carry noise peaking at -24 dBFS.
void generateSource(const fs::path& path) {
    bench::writeTake(path, {.channels = kChannels,
                            .frames = bench::framesForBytes(kTargetBytes, kChannels),
                            .silentChannels = {2, 6},
                            .timeReference = 0,
                            .ixml = bench::trackListIxml(kChannels, "<SCENE>12</SCENE>") + std::string(4096, '\0'),
                            .noisePeakDbfs = -24.0});
}

void readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

// Runs a program to its end; a failed run ends the benchmark.
bench::Measurement runProgram(const std::vector<std::string>& args) {
    const bench::Measurement m = bench::measureProgram(args);
    if (!m.ok) throw std::runtime_error(args[0] + " failed");
    return m;
}

struct Peer {
    std::string label;
    std::vector<std::string> command;
    fs::path output;
    fs::path freshCopy;  // copied from the source, untimed, before each run
    std::vector<bench::Measurement> runs{};
};

// No peer pays for another's dirty pages, nor for the blocks of a file
// dropped before it: the disk may still be discarding them after the sync.
void settle() {
    ::sync();
    ::usleep(1'000'000);
}

int analyseOnly(const char* source) { return quillon::analyzePolyWav(source, 0.001).error.empty() ? 0 : 1; }

// Writes the slimmed copy to `output`, or replaces the source when `output` is empty.
int slim(const char* source, const fs::path& output) {
    try {
        quillon::compressPolyWav(source, output.empty(), 0.001, output);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--slim") == 0) return slim(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--slim-in-place") == 0) return slim(argv[2], {});
    if (argc == 3 && std::strcmp(argv[1], "--analyse") == 0) return analyseOnly(argv[2]);

    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    try {
        const bench::ScratchFolder scratch(base, "quillon-writer-bench");
        const fs::path& dir = scratch.path();
        const fs::path source = dir / "T001.WAV";
        std::printf("generating %s ...\n", source.c_str());
        generateSource(source);
        const double megabytes = static_cast<double>(fs::file_size(source)) / 1e6;
        readWhole(source);

        const std::string self = fs::read_symlink("/proc/self/exe").string();
        const fs::path stripDir = dir / "strip", overDir = dir / "over";
        fs::create_directories(stripDir), fs::create_directories(overDir), fs::copy_file(source, stripDir / "T001.WAV");
        // Decide (read the source), copy, make durable, read the copy back from the disk.
        const std::string copyAndCheck = "cat \"$0\" >/dev/null && cp \"$0\" \"$1\" && sync && "
                                         "dd if=\"$1\" iflag=direct bs=4M of=/dev/null 2>/dev/null";
        std::vector<Peer> peers = {
            {"quillon writer", {self, "--slim", source.string(), (dir / "slim.wav").string()}, dir / "slim.wav", {}},
            {"writer in place", {self, "--slim-in-place", (dir / "inplace.wav").string()}, {}, dir / "inplace.wav"},
            {"writer over file", {self, "--slim", source.string(), (dir / "over.wav").string()}, {}, dir / "over.wav"},
            {"cp + sync + dd", {"sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\" && dd if=\"$1\" iflag=direct bs=4M "
             "of=/dev/null 2>/dev/null", source.string(), (dir / "cps.wav").string()}, dir / "cps.wav", {}},
            {"cp", {"cp", source.string(), (dir / "cp.wav").string()}, dir / "cp.wav", {}},
            {"sox remix", {"sox", source.string(), (dir / "sox.wav").string(), "remix"}, dir / "sox.wav", {}},
            {"fresh analysis", {self, "--analyse", source.string()}, {}, {}},
            {"strip DIR", {"sh", "-c", "exec \"$0\" strip \"$1\" >/dev/null", QUILLON_CLI_PATH, stripDir.string()},
             stripDir / "T001_SLIM.WAV", {}},
            {"cat+cp+sync+dd",
             {"sh", "-c", copyAndCheck, (stripDir / "T001.WAV").string(), (dir / "peer.wav").string()},
             dir / "peer.wav", {}},
            {"strip --overwrite", {"sh", "-c", "exec \"$0\" strip --overwrite \"$1\" >/dev/null", QUILLON_CLI_PATH,
             overDir.string()}, {}, overDir / "T001.WAV"},
            {"same + mv + sync", {"sh", "-c", copyAndCheck + " && mv \"$1\" \"$0\" && sync",
             (dir / "peer-over.wav").string(), (dir / ".peer-over.tmp").string()}, {}, dir / "peer-over.wav"}};
        peers[5].command.insert(peers[5].command.end(), kKeptOneBased.begin(), kKeptOneBased.end());

        // The runs that replace a file come in rounds of their own: heavy
        // writes just before them (sox leaves its output to the flusher)
        // stall their writes on this kind of disk now and then.
        const auto runRounds = [&](std::vector<Peer*> group) {
            for (int round = 0; round < kRounds; ++round)
                for (Peer* peer : group) {
                    // A copy goes to a fresh file, as cp's does; the in-place run
                    // and the copy over a file pay for dropping the file they replace.
                    if (!peer->output.empty()) fs::remove(peer->output);
                    if (!peer->freshCopy.empty()) fs::remove(peer->freshCopy), fs::copy_file(source, peer->freshCopy);
                    settle();
                    peer->runs.push_back(runProgram(peer->command));
                }
        };
        std::printf("load average before: %s", bench::loadAverage().c_str());
        runRounds({&peers[0], &peers[3], &peers[4], &peers[5], &peers[6], &peers[7], &peers[8]});
        runRounds({&peers[1], &peers[2], &peers[9], &peers[10]});
        std::printf("load average after:  %s", bench::loadAverage().c_str());
        std::vector<bench::Measurement> medians;
        for (const Peer& peer : peers) medians.push_back(bench::median(peer.runs));
        const auto& [writer, inPlace, overFile, cpSyncDd, cp, sox, analysis, strip, stripPeer, stripOver, overPeer] =
            std::tie(medians[0], medians[1], medians[2], medians[3], medians[4], medians[5], medians[6], medians[7],
                     medians[8], medians[9], medians[10]);
        std::printf("source: %.0f MB, %d tracks, 24-bit, 48 kHz, tracks 3 and 7 silent; medians of %d, warm cache\n",
                    megabytes, kChannels, kRounds);
        for (std::size_t i = 0; i < peers.size(); ++i)
            std::printf("  %-18s %7.3f s  %7.1f MB/s  peak memory %6.1f MB\n", peers[i].label.c_str(),
                        medians[i].seconds, megabytes / medians[i].seconds,
                        static_cast<double>(medians[i].peakKiB) / 1024.0);
        std::printf("writer without its analysis = %.3f s\n", writer.seconds - analysis.seconds);
        std::printf("writer / (cp + sync + dd) = %.2f  (target <= 1.25)\n", writer.seconds / cpSyncDd.seconds);
        // Replacing a file costs the file system its old blocks (on a disk
        // mounted with discard, a lot): the copy that replaces a file of the
        // same size shows what the in-place route adds.
        std::printf("in place / copy over a file = %.2f  (target <= 1.15)\n", inPlace.seconds / overFile.seconds);
        std::printf("in place / copy      = %.2f\n", inPlace.seconds / writer.seconds);
        std::printf("writer / cp          = %.2f\n", writer.seconds / cp.seconds);
        std::printf("writer / sox         = %.2f  (target < 1)\n", writer.seconds / sox.seconds);
        std::printf("writer peak memory   = %.1f MB  (target < 16)\n", static_cast<double>(writer.peakKiB) / 1024.0);

        const double r = static_cast<double>(fs::file_size(source));
        const double w = static_cast<double>(fs::file_size(stripDir / "T001_SLIM.WAV"));
        std::printf("strip DIR / (cat+cp+sync+dd) = %.2f  (target <= 1.15)\n", strip.seconds / stripPeer.seconds);
        std::printf("strip --overwrite / (same + mv + sync) = %.2f  (target <= 1.15)\n",
                    stripOver.seconds / overPeer.seconds);
        for (const auto& [label, m] : {std::pair{"strip DIR", strip}, std::pair{"strip --overwrite", stripOver}})
            std::printf("%-18s read(2) %.0f MB = %.4f (2R + W)  (target <= 1.02); from the disk %.0f MB = %.3f W  "
                        "(target >= 0.95); peak memory %.1f MB\n", label, m.readBytes / 1e6,
                        m.readBytes / (2 * r + w), m.deviceBytes / 1e6, m.deviceBytes / w,
                        static_cast<double>(m.peakKiB) / 1024.0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "writer_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
