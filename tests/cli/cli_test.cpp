// Runs the built quillon-cli over generated takes: exit statuses, dry runs
// that write nothing, JSON records that agree with the files they name, peaks
// over part of a take, the reasons for files passed over or not written,
// copies not replaced unasked, and written files read back from the medium.
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
    writeFile(folder / "A.wav", levelTake("101", 3));
    writeFile(folder / "C.wav", levelTake("01", 3));
    writeFile(folder / "B.wav", WavBuilder().fmt({}).data(pcmFrames(24, levelTracks("11", 3))).bytes64());  // RF64
    writeFile(folder / "Z.wav", levelTake("00", 3));  // nothing to keep
    writeFile(folder / "M.wav", levelTake("1", 3));  // mono: passed over
    writeFile(folder / "L.wav", levelTake("rr", 96000));  // every track heard in its first second
    writeFile(folder / "N.wav", "not a WAV file");
    fs::create_directory(folder / "C_SLIM.wav");  // C's copy cannot be written, and is not replaced unasked
    const std::string original = readFile(folder / "A.wav");
    const std::pair<std::string, int> runs[] = {{"", 2}, {"frobnicate .", 2}, {"scan absent", 2}, {"scan .", 0},
                                                {"strip --dry-run .", 0}, {"strip --dry-run --overwrite --json .", 0}};
    for (const auto& [args, status] : runs) {
        EXPECT_EQ(runCli(folder.path(), args).first, status) << args;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 8) << args;
        EXPECT_TRUE(readFile(folder / "A.wav") == original) << args;
    }

    // Tracks are numbered from 1 in JSON as in text. L is read no further than its first second unless --full reads
    // every frame: its record says whether its peaks cover the take, and the text shows a partial peak as a bound.
    for (const auto coverage : {PeakCoverage::untilDecided, PeakCoverage::wholeTake}) {
        const std::string full = coverage == PeakCoverage::wholeTake ? " --full" : "";
        const auto scanned = runCli(folder.path(), "scan --json ." + full).second;
        ASSERT_EQ(scanned.size(), 5u);
        for (const std::string& line : scanned) {
            const auto record = nlohmann::json::parse(line);
            const auto info =
                analyzePolyWav(folder / record.at("path").get<std::string>(), ui::kSilenceThreshold, coverage);
            EXPECT_TRUE(record.at("channels") == info.channels && record.at("peaksCoverTake") == info.peaksCoverTake());
            for (std::size_t i = 0; i < info.tracks.size(); ++i)
                EXPECT_TRUE(record["tracks"][i]["empty"] == info.tracks[i].empty &&
                            record["tracks"][i]["track"] == i + 1 && record["tracks"][i]["peak"] == info.tracks[i].peak)
                    << line;
        }
        const PolyWavInfo take = analyzePolyWav(folder / "L.wav", ui::kSilenceThreshold, coverage);
        const std::string peak = "  " + ui::peakText(take.tracks[1].peak, take.peaksCoverTake()) + "  ";
        const auto text = runCli(folder.path(), "scan --tracks ." + full).second;
        EXPECT_TRUE(std::ranges::any_of(text, [&](const std::string& line) { return line.find(peak) != line.npos; }));
    }

    // M and N are passed over by a scan and refused when named, B, Z and the ADM file D are skipped, each with its
    // reason, on standard error; a dry run writes nothing and says so.
    const auto reason = [&](const char* name) {
        const PolyWavInfo info = analyzePolyWav(folder / name, ui::kSilenceThreshold);
        return ui::errorLine(info, ui::refusalText(info), folder.path()) + "\n";
    };
    EXPECT_EQ(runCli(folder.path(), "scan --json .", "2>&1 >/dev/null").second,
              (std::vector{reason("M.wav"), reason("N.wav")}));
    WavBuilder().fmt({}).chunk("chna", "").data(pcmFrames(24, levelTracks("10", 3))).write(folder / "D.wav");
    for (const char* name : {"B.wav", "Z.wav", "M.wav", "D.wav"})
        EXPECT_EQ(runCli(folder.path(), "strip --dry-run " + std::string(name), "2>&1 >/dev/null").second,
                  std::vector{reason(name)});
    fs::remove(folder / "D.wav");
    const auto dryRun = nlohmann::json::parse(runCli(folder.path(), "strip --dry-run --json A.wav").second.at(0));
    EXPECT_EQ(dryRun.at("written"), false);

    // A is written; C's copy is replaced only with --force, and fails, so the run ends with 1.
    const auto [status, lines] = runCli(folder.path(), "strip --force --json .");
    EXPECT_EQ(status, 1);
    ASSERT_EQ(lines.size(), 5u);
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
    EXPECT_EQ(std::ranges::count_if(listed, [](auto& line) { return line.find(":00  sub/A101_1.WAV  ") == 8; }), 1);
}

// --uniform keeps the takes of a layout alike: a track goes only where it is empty in every take with the same
// names in the same order; a take whose layout no other shares keeps its own empty tracks. --threshold-db moves
// the line below which a track is empty.
TEST(CliTest, UniformLayoutsAndThreshold) {
    TempDir folder;
    const auto take = [&](const std::string& name, const std::string& tracks, const std::string& levels) {
        std::string ixml;
        for (const char track : tracks) ixml += "<TRACK><NAME>" + std::string(1, track) + "</NAME></TRACK>";
        WavBuilder().fmt({.channels = std::uint16_t(tracks.size())}).chunk("iXML", "<TRACK_LIST>" + ixml + "</TRACK_LIST>")
            .data(pcmFrames(24, levelTracks(levels, 3))).write(folder / name);
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
    writeFile(folder / "A.wav", levelTake("101", 100000));
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
