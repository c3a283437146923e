#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::testing;
using quillon::PolyWavInfo;
using quillon::scanDirectory;

const std::string kDash = "\xE2\x80\x94";
constexpr std::int64_t kLoud = 16000;   // about -6 dBFS
constexpr std::int64_t kQuiet = 328;    // about 0.01 of full scale

// A 16-bit, 48 kHz file of 0.1 s whose channel k holds the constant value levels[k].
std::string wav16(const std::vector<std::int64_t>& levels) {
    ChannelSamples channels;
    for (const auto level : levels) channels.emplace_back(4800, level);
    return simpleWav({.channels = static_cast<std::uint16_t>(levels.size()), .bitsPerSample = 16}, channels);
}

void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    writeFile(path, bytes);
}

std::vector<std::string> summaries(const std::vector<PolyWavInfo>& results) {
    std::vector<std::string> lines;
    for (const auto& info : results) lines.push_back(info.summary());
    return lines;
}

std::string line(const std::string& name, int channels, int active, const std::string& seconds = "0.1") {
    return name + "  " + kDash + "  " + std::to_string(channels) + " tracks (" + std::to_string(active) +
           " active, " + std::to_string(channels - active) + " empty)  48000 Hz  " + seconds + "s";
}

std::string errorLine(const std::string& name, const std::string& error) {
    return name + "  " + kDash + "  error: " + error;
}

struct Progress {
    std::int32_t number;
    std::int32_t count;
    fs::path path;
    bool operator==(const Progress&) const = default;
};

struct ScanCase {
    const char* label;
    bool recursive;
    double threshold;
    std::int32_t minChannels;
    std::vector<std::string> expected;
};

TEST(Scan, PassesItsSettingsOnAndKeepsDiscoveryOrder) {
    TempDir root;
    put(root / "A.wav", wav16({kQuiet, 0}));
    put(root / "C.wav", wav16({0, 0}));
    put(root / "sub" / "B.wav", wav16({kLoud, kLoud, kLoud, kLoud, kLoud, kLoud}));
    put(root / "mono.wav", wav16({kLoud}));
    put(root / "bad.wav", "not audio");

    const ScanCase cases[] = {
        {"defaults, flat", false, 0.001, 2, {line("A.wav", 2, 1), line("C.wav", 2, 0)}},
        {"higher threshold", false, 0.02, 2, {line("A.wav", 2, 0), line("C.wav", 2, 0)}},
        {"zero threshold makes silence active", false, 0.0, 2, {line("A.wav", 2, 2), line("C.wav", 2, 2)}},
        {"recursive", true, 0.001, 2, {line("A.wav", 2, 1), line("B.wav", 6, 6), line("C.wav", 2, 0)}},
        {"minimum of six", true, 0.001, 6, {line("B.wav", 6, 6)}},
        {"minimum of one", false, 0.001, 1, {line("A.wav", 2, 1), line("C.wav", 2, 0), line("mono.wav", 1, 1)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaries(scanDirectory(root.path(), c.recursive, c.threshold, c.minChannels, {})), c.expected)
            << c.label;
}

TEST(Scan, ReportsEveryListedFileJustBeforeItsAnalysis) {
    TempDir root;
    for (const auto* name : {"C.wav", "A.wav", "sub/B.wav"}) put(root / name, wav16({kLoud, kLoud}));
    const auto listed = quillon::discoverPolyPaths(root.path(), true, 2);
    ASSERT_EQ(listed.size(), 3u);

    std::vector<Progress> calls;
    const auto results = scanDirectory(root.path(), true, 0.001, 2,
                                       [&](std::int32_t n, std::int32_t count, const fs::path& path) {
                                           calls.push_back({n, count, path});
                                       });

    EXPECT_EQ(calls, (std::vector<Progress>{{1, 3, listed[0]}, {2, 3, listed[1]}, {3, 3, listed[2]}}));
    ASSERT_EQ(results.size(), 3u);
    for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i].path, listed[i]);
}

struct ChangeCase {
    const char* label;
    std::function<void(const fs::path&)> change;
    std::vector<std::string> expected;
};

// The progress report for a file comes before its analysis, so a change the
// callback makes to that file is what the analysis sees: the same situation
// as a file replaced on disk between discovery and analysis.
TEST(Scan, FileChangedAfterDiscoveryIsReportedOrDropped) {
    const ChangeCase cases[] = {
        {"unchanged", [](const fs::path&) {}, {line("A.wav", 2, 2), line("B.wav", 2, 2), line("C.wav", 2, 2)}},
        {"replaced by a mono file", [](const fs::path& p) { writeFile(p, wav16({kLoud})); },
         {line("A.wav", 2, 2), line("C.wav", 2, 2)}},
        {"replaced by more channels", [](const fs::path& p) { writeFile(p, wav16({kLoud, 0, 0, 0, 0, 0})); },
         {line("A.wav", 2, 2), line("B.wav", 6, 1), line("C.wav", 2, 2)}},
        {"replaced by text", [](const fs::path& p) { writeFile(p, "text"); },
         {line("A.wav", 2, 2), errorLine("B.wav", "Not a RIFF/WAVE file"), line("C.wav", 2, 2)}},
        {"removed", [](const fs::path& p) { fs::remove(p); },
         {line("A.wav", 2, 2), errorLine("B.wav", "Could not open file"), line("C.wav", 2, 2)}},
        {"cut inside its fmt chunk", [](const fs::path& p) { fs::resize_file(p, 30); },
         {line("A.wav", 2, 2), errorLine("B.wav", "Invalid fmt chunk"), line("C.wav", 2, 2)}},
        {"replaced by an 8-bit file",
         [](const fs::path& p) { writeFile(p, simpleWav({.channels = 2, .bitsPerSample = 8}, {{1}, {1}})); },
         {line("A.wav", 2, 2), errorLine("B.wav", "Unsupported bit depth"), line("C.wav", 2, 2)}},
    };
    for (const auto& c : cases) {
        TempDir root;
        for (const auto* name : {"A.wav", "B.wav", "C.wav"}) put(root / name, wav16({kLoud, kLoud}));
        std::vector<std::int32_t> numbers;
        const auto results = scanDirectory(root.path(), false, 0.001, 2,
                                           [&](std::int32_t n, std::int32_t count, const fs::path& path) {
                                               numbers.push_back(n);
                                               EXPECT_EQ(count, 3) << c.label;
                                               if (n == 2) c.change(path);
                                           });
        EXPECT_EQ(summaries(results), c.expected) << c.label;
        EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 2, 3})) << c.label;
    }
}

TEST(Scan, NothingToAnalyseNeverReportsProgress) {
    TempDir root;
    put(root / "mono.wav", wav16({kLoud}));
    put(root / "notes.wav", "text");
    put(root / "sub" / "deep.wav", wav16({kLoud, kLoud}));
    int calls = 0;
    const quillon::ProgressCallback count = [&](std::int32_t, std::int32_t, const fs::path&) { ++calls; };
    EXPECT_TRUE(scanDirectory(root.path(), false, 0.001, 2, count).empty());
    EXPECT_TRUE(scanDirectory(root / "missing", true, 0.001, 2, count).empty());
    EXPECT_TRUE(scanDirectory(root / "mono.wav", true, 0.001, 2, count).empty());
    EXPECT_EQ(calls, 0);
}

TEST(Scan, RunsWithoutACallback) {
    TempDir root;
    put(root / "A.wav", wav16({kLoud, 0}));
    EXPECT_EQ(summaries(scanDirectory(root.path(), false, 0.001, 2, nullptr)), std::vector{line("A.wav", 2, 1)});
}

struct StopScan {
    std::int32_t at;
};

TEST(Scan, ExceptionFromTheCallbackAbortsTheScan) {
    TempDir root;
    for (const auto* name : {"A.wav", "B.wav", "C.wav"}) put(root / name, wav16({kLoud, kLoud}));
    std::vector<std::int32_t> numbers;
    try {
        scanDirectory(root.path(), false, 0.001, 2, [&](std::int32_t n, std::int32_t, const fs::path&) {
            numbers.push_back(n);
            if (n == 2) throw StopScan{n};
        });
        FAIL() << "the callback's exception did not leave the scan";
    } catch (const StopScan& stop) {
        EXPECT_EQ(stop.at, 2);
    }
    EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 2}));
}

// Expected lines follow the corpus README: channel counts, levels and the
// recorders' own start timecodes.
TEST(Scan, CorpusCopyListsThePolyFilesWithTheirSummaries) {
    TempDir copy;
    for (const auto& entry : fs::directory_iterator(corpusDir()))
        fs::copy_file(entry.path(), copy / entry.path().filename());
    const ScanCase cases[] = {
        {"scan threshold",
         false,
         0.001,
         2,
         {"12:39:59:00  " + line("A101_1.WAV", 2, 0, "5.0"), "01:00:00:00  " + line("Nuendo 5.1.wav", 6, 0, "1.0"),
          "01:00:00:00  " + line("Nuendo Stereo.wav", 2, 0, "1.0"),
          "12:40:15:00  " + line("PT A101_4.A1.wav", 2, 2, "3.0"), "17:54:35:00  " + line("STE-000.wav", 2, 0, "5.1")}},
        {"threshold between the quiet tracks' peaks",
         true,
         1e-4,
         2,
         {"12:39:59:00  " + line("A101_1.WAV", 2, 1, "5.0"), "01:00:00:00  " + line("Nuendo 5.1.wav", 6, 0, "1.0"),
          "01:00:00:00  " + line("Nuendo Stereo.wav", 2, 0, "1.0"),
          "12:40:15:00  " + line("PT A101_4.A1.wav", 2, 2, "3.0"), "17:54:35:00  " + line("STE-000.wav", 2, 2, "5.1")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(summaries(scanDirectory(copy.path(), c.recursive, c.threshold, c.minChannels, {})), c.expected)
            << c.label;
}

}  // namespace
