// Analysis benchmark: an 8-track 24-bit 48 kHz file of 500 MB or more whose
// last track is silent, so the whole file must be read. Compares, in the same
// run and with a warm cache, the analysis with `sox FILE -n stats` and
// `cat FILE > /dev/null` (medians of 7 alternating rounds), and reports peak memory.
//
// Usage: analysis_bench [MEGABYTES] [FOLDER]
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "bench_wav.h"
#include "quillon/quillon.h"

namespace {

constexpr int kChannels = 8;

// The analysis as its own process, started fresh as the peers are.
int analyseOnly(const char* file) {
    const auto info = quillon::analyzePolyWav(file, 0.001);
    return info.error.empty() && info.emptyCount() == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc == 3 && std::strcmp(argv[1], "--analyse") == 0) return analyseOnly(argv[2]);
    const std::uint64_t megabytes = argc > 1 ? std::stoull(argv[1]) : 500;
    const std::filesystem::path parent = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const bench::ScratchFolder folder(parent, "quillon-analysis-bench");
    const auto file = folder.path() / "take.wav";
    std::printf("Generating %llu MB, 8 tracks, 24-bit, one silent track: %s\n",
                static_cast<unsigned long long>(megabytes), file.c_str());
    bench::writeTake(file, {.channels = kChannels,
                            .frames = bench::framesForBytes(megabytes * 1000 * 1000, kChannels),
                            .silentChannels = {kChannels - 1},
                            .timeReference = std::nullopt,
                            .ixml = std::nullopt,
                            .noisePeakDbfs = 0.0});
    // Written back before timing: the flusher would otherwise take a core
    // from whichever run it overlaps.
    ::sync();

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto analyse = [&] { return bench::measureProgram({self, "--analyse", file.string()}); };
    const auto readWhole = [&] { return bench::measureCommand("cat " + bench::quoted(file) + " > /dev/null"); };
    analyse();  // warms the cache
    // Rounds alternate the two, so a machine whose speed drifts during the
    // run weighs on both alike.
    std::vector<bench::Measurement> ourRuns, catRuns;
    for (int round = 0; round < 7; ++round) {
        ourRuns.push_back(analyse());
        catRuns.push_back(readWhole());
    }
    const auto ours = bench::median(ourRuns);
    const auto cat = bench::median(catRuns);
    bench::report("quillon analyzePolyWav", ours);
    bench::report("cat FILE > /dev/null", cat);
    if (bench::haveCommand("sox")) {
        const auto sox = bench::medianOf(1, [&] { return bench::measureCommand("sox " + bench::quoted(file) + " -n stats 2>/dev/null"); });
        bench::report("sox FILE -n stats", sox);
        bench::ratio("speed vs sox stats (target >= 5x)", ours, sox);
    }
    std::printf("%-34s %8.2f (target <= 1.5)\n", "analysis time / cat time", ours.seconds / cat.seconds);
    std::printf("%-34s %8.1f MB (target < 16 MB)\n", "analysis peak memory", ours.peakKiB / 1024.0);
    return ours.ok ? 0 : 1;
} catch (const std::exception& e) {
    std::fprintf(stderr, "analysis_bench: %s\n", e.what());
    return 1;
}
