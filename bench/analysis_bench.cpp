// Analysis benchmark: an 8-track 24-bit 48 kHz file of 500 MB or more whose
// last track is silent, so the whole file must be read. Compares, in the same
// run and with a warm cache, the analysis with `sox FILE -n stats` and
// `cat FILE > /dev/null`, and reports peak memory.
//
// Usage: analysis_bench [MEGABYTES] [FOLDER]
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "quillon/quillon.h"

namespace {

constexpr int kChannels = 8;
constexpr int kBytesPerSample = 3;

// Noise on every track but the last, written block by block.
void generate(const std::filesystem::path& path, std::uint64_t megabytes) {
    const std::uint64_t frames = megabytes * 1000 * 1000 / (kChannels * kBytesPerSample);
    const std::uint64_t dataSize = frames * kChannels * kBytesPerSample;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i)));
    };
    auto u16 = [&](std::uint16_t v) { out.put(static_cast<char>(v)).put(static_cast<char>(v >> 8)); };
    out.write("RIFF", 4);
    u32(static_cast<std::uint32_t>(4 + 24 + 8 + dataSize));
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(kChannels);
    u32(48000);
    u32(48000 * kChannels * kBytesPerSample);
    u16(kChannels * kBytesPerSample);
    u16(24);
    out.write("data", 4);
    u32(static_cast<std::uint32_t>(dataSize));

    constexpr std::uint64_t blockFrames = 48000;
    std::string block(blockFrames * kChannels * kBytesPerSample, '\0');
    std::uint32_t state = 12345;
    for (std::uint64_t f = 0; f < blockFrames; ++f)
        for (int k = 0; k < kChannels - 1; ++k) {
            state = state * 1664525u + 1013904223u;
            const std::int32_t sample = static_cast<std::int32_t>(state >> 8) - (1 << 23);
            for (int b = 0; b < kBytesPerSample; ++b)
                block[(f * kChannels + k) * kBytesPerSample + b] = static_cast<char>(sample >> (8 * b));
        }
    for (std::uint64_t done = 0; done < frames; done += blockFrames) {
        const std::uint64_t n = std::min(blockFrames, frames - done);
        out.write(block.data(), static_cast<std::streamsize>(n * kChannels * kBytesPerSample));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::stoull(argv[1]) : 500;
    const std::filesystem::path folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const auto file = folder / "quillon-analysis-bench.wav";
    std::printf("Generating %llu MB, 8 tracks, 24-bit, one silent track: %s\n",
                static_cast<unsigned long long>(megabytes), file.c_str());
    generate(file, megabytes);

    const auto analyse = [&] {
        return bench::measureInChild([&] {
            const auto info = quillon::analyzePolyWav(file, 0.001);
            if (!info.error.empty() || info.emptyCount() != 1) _exit(1);
        });
    };
    analyse();  // warms the cache
    const auto ours = bench::bestOf(3, analyse);
    const auto cat = bench::bestOf(3, [&] { return bench::measureCommand("cat " + bench::quoted(file) + " > /dev/null"); });
    bench::report("quillon analyzePolyWav", ours);
    bench::report("cat FILE > /dev/null", cat);
    if (bench::haveCommand("sox")) {
        const auto sox = bench::bestOf(1, [&] { return bench::measureCommand("sox " + bench::quoted(file) + " -n stats 2>/dev/null"); });
        bench::report("sox FILE -n stats", sox);
        bench::ratio("speed vs sox stats (target >= 5x)", ours, sox);
    }
    bench::ratio("speed vs cat (target >= 0.25x)", ours, cat);
    std::printf("%-34s %8.1f MB (target < 16 MB)\n", "analysis peak memory", ours.peakKiB / 1024.0);
    std::filesystem::remove(file);
    return ours.ok ? 0 : 1;
}
