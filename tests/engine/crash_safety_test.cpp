// Kills an in-place slimming at many points and checks that the original
// path always holds either the untouched original or the complete slimmed
// file, never anything in between.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

using namespace quillon::testing;
namespace fs = std::filesystem;

// Eight tracks, 24-bit, four seconds (4.6 MB); tracks 2 and 7 are silent.
std::string multiMegabyteTake() {
    ChannelSamples samples(8);
    std::uint32_t state = 7;
    for (std::size_t k = 0; k < samples.size(); ++k)
        for (int f = 0; f < 4 * 48000; ++f) {
            state = state * 1664525u + 1013904223u;
            samples[k].push_back(k == 1 || k == 6 ? 0 : static_cast<std::int32_t>(state >> 9) - (1 << 22));
        }
    return WavBuilder()
        .chunk("bext", bextPayload(123456789))
        .fmt({.channels = 8, .bitsPerSample = 24})
        .data(pcmFrames(24, samples))
        .chunk("iXML", "<BWFXML><TRACK_LIST></TRACK_LIST></BWFXML>")
        .bytes();
}

enum class Outcome { original, slimmed };

struct Tally {
    int original = 0;
    int slimmed = 0;
};

// Starts an overwrite in a child. With a file-size limit the child dies by
// SIGXFSZ at exactly that many bytes written; with a delay it is killed by
// SIGKILL after it.
void overwriteInChild(const fs::path& path, std::optional<rlim_t> sizeLimit, std::optional<std::chrono::microseconds> killAfter) {
    const pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (sizeLimit) {
            const rlimit limit{*sizeLimit, *sizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        try {
            quillon::compressPolyWav(path, true, 0.001, {});
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    if (killAfter) {
        std::this_thread::sleep_for(*killAfter);
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        original = multiMegabyteTake();
        writeFile(dir / "take.wav", original);
        quillon::compressPolyWav(dir / "take.wav", false, 0.001, dir / "expected.wav");
        expected = readFile(dir / "expected.wav");
        fs::remove(dir / "expected.wav");
    }

    // Checks the folder after one interrupted run and puts the original back.
    void checkAndReset(const std::string& point) {
        const std::string now = readFile(dir / "take.wav");
        const bool leftover = fs::exists(dir / ".take_compressing.wav");
        if (now == original) {
            ++tally.original;
        } else {
            ASSERT_EQ(now.size(), expected.size()) << point << ": a partial file took the original's name";
            ASSERT_TRUE(now == expected) << point << ": the original path holds neither file";
            EXPECT_FALSE(leftover) << point << ": temporary file left beside a slimmed file";
            ++tally.slimmed;
        }
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename() != "take.wav") fs::remove(entry.path());
        writeFile(dir / "take.wav", original);
    }

    TempDir dir;
    std::string original;
    std::string expected;
    Tally tally;
};

TEST_F(CrashSafety, KilledAtAnyPointTheOriginalOrTheWholeResultRemains) {
    // Deaths at exact byte counts spread over the whole output file.
    constexpr int kSizePoints = 50;
    for (int i = 0; i < kSizePoints; ++i) {
        const rlim_t limit = expected.size() * static_cast<rlim_t>(i) / kSizePoints;
        overwriteInChild(dir / "take.wav", limit, std::nullopt);
        checkAndReset("size limit " + std::to_string(limit));
    }
    // Kills at moments spread over a whole run, the final sync and rename included.
    const auto start = std::chrono::steady_clock::now();
    overwriteInChild(dir / "take.wav", std::nullopt, std::nullopt);
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    checkAndReset("uninterrupted");
    constexpr int kTimePoints = 40;
    for (int i = 0; i < kTimePoints; ++i) {
        const auto delay = runTime * (i + 1) / kTimePoints + std::chrono::microseconds(i * 37);
        overwriteInChild(dir / "take.wav", std::nullopt, delay);
        checkAndReset("kill after " + std::to_string(delay.count()) + " us");
    }
    std::printf("kill points: %d; original intact: %d; complete slimmed file: %d\n", kSizePoints + kTimePoints + 1,
                tally.original, tally.slimmed);
    EXPECT_GE(tally.original, kSizePoints) << "every death during the write keeps the original";
    EXPECT_GE(tally.slimmed, 1);
}

}  // namespace
