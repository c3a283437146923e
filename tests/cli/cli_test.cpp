// Runs the built quillon-cli over generated takes: exit statuses, dry runs
// that write nothing, JSON records that agree with the files they name, the
// reasons for files passed over or not written, and copies not replaced unasked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

#include "messages.h"
#include "quillon/quillon.h"
#include "texts.h"
#include "wav_builder.h"

namespace quillon::testing {

namespace fs = std::filesystem;

// quillon-cli run in the folder: its exit status and the lines of its standard output.
std::pair<int, std::vector<std::string>> runCli(const fs::path& folder, const std::string& args,
                                                const std::string& streams = "2>/dev/null") {
    FILE* pipe = popen(("cd '" + folder.string() + "' && " QUILLON_CLI_PATH " " + args + " " + streams).c_str(), "r");
    std::vector<std::string> lines;
    for (char line[65536]; std::fgets(line, sizeof line, pipe);) lines.emplace_back(line);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, lines};
}

TEST(CliTest, ExitStatusesDryRunsAndJsonRecords) {
    TempDir folder;
    const std::vector<std::int64_t> signal{1 << 20, -(1 << 18), 1 << 19}, silence(3, 0);
    writeFile(folder / "A.wav", simpleWav({.channels = 3}, {signal, silence, signal}));
    writeFile(folder / "C.wav", simpleWav({.channels = 2}, {silence, signal}));
    writeFile(folder / "B.wav", WavBuilder().fmt({}).data(pcmFrames(24, {signal, signal})).bytes64());  // RF64, all kept
    writeFile(folder / "Z.wav", simpleWav({.channels = 2}, {silence, silence}));  // nothing to keep
    writeFile(folder / "M.wav", simpleWav({.channels = 1}, {signal}));  // mono: passed over
    writeFile(folder / "N.wav", "not a WAV file");
    fs::create_directory(folder / "C_SLIM.wav");  // C's copy cannot be written, and is not replaced unasked
    const std::string original = readFile(folder / "A.wav");
    const std::pair<std::string, int> runs[] = {{"", 2}, {"frobnicate .", 2}, {"scan absent", 2}, {"scan .", 0},
                                                {"strip --dry-run .", 0}, {"strip --dry-run --overwrite --json .", 0}};
    for (const auto& [args, status] : runs) {
        EXPECT_EQ(runCli(folder.path(), args).first, status) << args;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 7) << args;
        EXPECT_TRUE(readFile(folder / "A.wav") == original) << args;
    }

    // Tracks are numbered from 1 in JSON as in text.
    const auto scanned = runCli(folder.path(), "scan --json .").second;
    ASSERT_EQ(scanned.size(), 4u);
    for (const std::string& line : scanned) {
        const auto record = nlohmann::json::parse(line);
        const auto info = analyzePolyWav(folder / record.at("path").get<std::string>(), ui::kSilenceThreshold);
        EXPECT_EQ(record.at("channels"), info.channels);
        for (std::size_t i = 0; i < info.tracks.size(); ++i)
            EXPECT_TRUE(record["tracks"][i]["empty"] == info.tracks[i].empty && record["tracks"][i]["track"] == i + 1 &&
                        record["tracks"][i]["peak"] == info.tracks[i].peak) << line;
    }

    // M and N are passed over by a scan and refused when named, B and Z are skipped, each with its reason, on
    // standard error; a dry run writes nothing and says so.
    const auto reason = [&](const char* name) {
        const PolyWavInfo info = analyzePolyWav(folder / name, ui::kSilenceThreshold);
        return ui::errorLine(info, ui::refusalText(info), folder.path()) + "\n";
    };
    EXPECT_EQ(runCli(folder.path(), "scan --json .", "2>&1 >/dev/null").second,
              (std::vector{reason("M.wav"), reason("N.wav")}));
    for (const char* name : {"B.wav", "Z.wav", "M.wav"})
        EXPECT_EQ(runCli(folder.path(), "strip --dry-run " + std::string(name), "2>&1 >/dev/null").second,
                  std::vector{reason(name)});
    const auto dryRun = runCli(folder.path(), "strip --dry-run --json A.wav B.wav").second;
    ASSERT_EQ(dryRun.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(dryRun[0]).at("written"), false);
    EXPECT_TRUE(nlohmann::json::parse(dryRun[1]).contains("skipped"));

    // A is written; C's copy is replaced only with --force, and fails, so the run ends with 1.
    EXPECT_TRUE(nlohmann::json::parse(runCli(folder.path(), "strip --json C.wav").second.at(0)).contains("skipped"));
    const auto [status, lines] = runCli(folder.path(), "strip --force --json .");
    EXPECT_EQ(status, 1);
    ASSERT_EQ(lines.size(), 4u);
    const auto written = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(analyzePolyWav(folder / written.value("output", ""), ui::kSilenceThreshold).channels, written["kept"]);
    EXPECT_EQ(written.at("removed"), 1) << lines[0];
    EXPECT_TRUE(nlohmann::json::parse(lines[2]).contains("error")) << lines[2];
    // Now A's copy is there: it is skipped, and left as it is, unless --force is given.
    writeFile(folder / "A_SLIM.wav", original);
    const auto [keptStatus, kept] = runCli(folder.path(), "strip --json A.wav");
    EXPECT_TRUE(keptStatus == 0 && nlohmann::json::parse(kept.at(0)).contains("skipped"));
    EXPECT_TRUE(readFile(folder / "A_SLIM.wav") == original);
    EXPECT_EQ(runCli(folder.path(), "strip --force A.wav").first, 0);
    EXPECT_EQ(analyzePolyWav(folder / "A_SLIM.wav", ui::kSilenceThreshold).channels, 2);

    // A file in a subfolder is named by its path within the folder scanned, after its start timecode.
    fs::create_directory(folder / "sub");
    fs::copy_file(corpusDir() / "A101_1.WAV", folder / "sub" / "A101_1.WAV");
    const auto listed = runCli(folder.path(), "scan --recursive .").second;
    EXPECT_EQ(std::count_if(listed.begin(), listed.end(),
                            [](const std::string& line) { return line.find(":00  sub/A101_1.WAV  ") == 8; }), 1);
}

// A take whose tracks are all heard in its first second is read no further: its peaks show as lower bounds and
// its record says they do not cover the take, unless --full reads every frame.
TEST(CliTest, PartialPeaksAreMarkedUnlessReadWhole) {
    TempDir folder;
    std::vector<std::int64_t> quietThenLoud(48000, 1 << 16);
    quietThenLoud.resize(96000, 1 << 22);
    writeFile(folder / "L.wav", simpleWav({.channels = 2}, {quietThenLoud, quietThenLoud}));
    for (const auto coverage : {PeakCoverage::untilDecided, PeakCoverage::wholeTake}) {
        const PolyWavInfo info = analyzePolyWav(folder / "L.wav", ui::kSilenceThreshold, coverage);
        const std::string full = coverage == PeakCoverage::wholeTake ? "--full " : "";
        const auto record = nlohmann::json::parse(runCli(folder.path(), "scan --json " + full + ".").second.at(0));
        EXPECT_EQ(record.at("peaksCoverTake"), coverage == PeakCoverage::wholeTake);
        EXPECT_EQ(record["tracks"][1]["peak"], info.tracks[1].peak);
        const std::string line = runCli(folder.path(), "scan --tracks " + full + ".").second.at(2);
        EXPECT_NE(line.find("  " + ui::peakText(info.tracks[1].peak, info.peaksCoverTake()) + "  "), line.npos) << line;
    }
}

// --uniform keeps the takes of a layout alike: a track goes only where it is empty in every take with the same
// names in the same order; a take whose layout no other shares keeps its own empty tracks. --threshold-db moves
// the line below which a track is empty.
TEST(CliTest, UniformLayoutsAndThreshold) {
    TempDir folder;
    const auto take = [&](const std::string& name, const std::string& tracks, const std::string& levels) {
        std::string ixml;
        ChannelSamples samples;
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            ixml += "<TRACK><NAME>" + tracks.substr(k, 1) + "</NAME></TRACK>";
            samples.emplace_back(3, levels[k] == '1' ? 1 << 20 : levels[k] == 'q' ? 1000 : 0);  // q: -78 dBFS
        }
        WavBuilder().fmt({.channels = std::uint16_t(tracks.size())}).chunk("iXML", "<TRACK_LIST>" + ixml + "</TRACK_LIST>")
            .data(pcmFrames(24, samples)).write(folder / name);
    };
    take("A.wav", "XYZ", "10q"), take("B.wav", "XYZ", "1q1"), take("C.wav", "YXZ", "011"), take("D.wav", "XY", "10");
    const std::pair<std::string, std::string> runs[] = {
        {"strip --uniform --dry-run --json .", "[2] [2] [1] [2] "},
        {"strip --dry-run --json .", "[2,3] [2] [1] [2] "},
        {"strip --uniform --threshold-db -90 --dry-run --json .", "null null [1] [2] "}};
    for (const auto& [args, removed] : runs) {
        std::string shown;
        for (const std::string& line : runCli(folder.path(), args).second)
            shown += nlohmann::json::parse(line).value("removedChannels", nlohmann::json()).dump() + " ";
        EXPECT_EQ(shown, removed) << args;
    }
    EXPECT_EQ(runCli(folder.path(), "strip --uniform .").first, 0);
    for (const char* name : {"A_SLIM.wav", "B_SLIM.wav"})
        EXPECT_EQ(analyzePolyWav(folder / name, ui::kSilenceThreshold).tracks.at(1).name, "Z") << name;
}

// Runs `work` with the faulty medium (tests/support/faulty_medium.cpp) over `folder` at `mount`; the bytes it
// served from files written through it, or -1 when it could not be mounted.
long long withMedium(const fs::path& folder, const fs::path& mount, bool flip, const std::function<void()>& work) {
    FILE* medium = popen(("exec " QUILLON_MEDIUM_PATH " '" + folder.string() + "' '" + mount.string() + "' " +
                          (flip ? "--flip" : "")).c_str(), "r");
    for (int tries = 0; tries < 500 && fs::is_empty(mount); ++tries) ::usleep(10000);
    const bool mounted = !fs::is_empty(mount);
    if (mounted) work();
    std::system(("fusermount3 -uz '" + mount.string() + "'").c_str());
    long long served = -1;
    if (std::fscanf(medium, "%lld", &served) != 1 || !mounted) served = -1;
    pclose(medium);
    return served;
}

// On a medium that does not hold what was written to it, both routes fail the file and leave its folder as it
// was. On the same medium without the fault both succeed alike, and every byte past the first 64 KiB of each
// written file was read back from the medium (a read served from the system's cache would not reach it).
TEST(CliTest, EveryWrittenFileIsReadBackFromTheMedium) {
    TempDir folder, mount;
    ChannelSamples tracks(3);
    for (std::int64_t f = 0; f < 100000; ++f)
        tracks[0].push_back(f * 83 % 40000), tracks[1].push_back(0), tracks[2].push_back(-f);
    writeFile(folder / "A.wav", simpleWav({.channels = 3}, tracks));
    const std::string original = readFile(folder / "A.wav");
    for (const bool flip : {true, false}) {
        const long long served = withMedium(folder.path(), mount.path(), flip, [&] {
            for (const char* args : {"strip --json .", "strip --json --overwrite ."}) {
                const auto [status, lines] = runCli(mount.path(), args);
                EXPECT_EQ(status, flip ? 1 : 0) << args;
                EXPECT_EQ(nlohmann::json::parse(lines.at(0)).value("error", ""),
                          flip ? detail::msg::couldNotWriteOutput : "");
                EXPECT_TRUE(!flip || (readFile(folder / "A.wav") == original &&
                                      std::distance(fs::directory_iterator(folder.path()), {}) == 1));
            }
        });
        ASSERT_GE(served, 0) << "the FUSE medium could not be mounted";
        if (flip) continue;
        const std::string slim = readFile(folder / "A_SLIM.wav");
        EXPECT_TRUE(readFile(folder / "A.wav") == slim);
        EXPECT_EQ(analyzePolyWav(folder / "A.wav", ui::kSilenceThreshold).channels, 2);
        EXPECT_GE(served, 2 * (static_cast<long long>(slim.size()) - 65536));
    }
}

}  // namespace quillon::testing
