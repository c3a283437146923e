// Runs the built quillon-cli over generated takes: exit statuses, dry runs
// that write nothing, and JSON records that agree with the files they name.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

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
    fs::create_directory(folder / "C_SLIM.wav");  // C's copy cannot be written
    const std::string original = readFile(folder / "A.wav");
    const std::pair<std::string, int> runs[] = {{"", 2}, {"frobnicate .", 2}, {"scan absent", 2}, {"scan .", 0},
                                                {"strip --dry-run .", 0}, {"strip --dry-run --overwrite --json .", 0}};
    for (const auto& [args, status] : runs) {
        EXPECT_EQ(runCli(folder.path(), args).first, status) << args;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 5) << args;
        EXPECT_TRUE(readFile(folder / "A.wav") == original) << args;
    }

    const auto scanned = runCli(folder.path(), "scan --json .").second;
    ASSERT_EQ(scanned.size(), 4u);
    for (const std::string& line : scanned) {
        const auto record = nlohmann::json::parse(line);
        const auto info = analyzePolyWav(folder / record.at("path").get<std::string>(), ui::kSilenceThreshold);
        EXPECT_EQ(record.at("channels"), info.channels);
        for (std::size_t i = 0; i < info.tracks.size(); ++i)
            EXPECT_TRUE(record["tracks"][i]["empty"] == info.tracks[i].empty &&
                        record["tracks"][i]["peak"] == info.tracks[i].peak) << line;
    }

    // B and Z are skipped, each with the writer's reason; a dry run writes nothing and says so.
    for (const char* name : {"B.wav", "Z.wav"}) {
        const PolyWavInfo info = analyzePolyWav(folder / name, ui::kSilenceThreshold);
        EXPECT_EQ(runCli(folder.path(), "strip --dry-run " + std::string(name), "2>&1 >/dev/null").second,
                  std::vector{ui::errorLine(info, removalRefusal(info)) + "\n"});
    }
    const auto dryRun = runCli(folder.path(), "strip --dry-run --json A.wav B.wav").second;
    ASSERT_EQ(dryRun.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(dryRun[0]).at("written"), false);
    EXPECT_TRUE(nlohmann::json::parse(dryRun[1]).contains("skipped"));

    // A is written; C fails, so the run ends with 1.
    const auto [status, lines] = runCli(folder.path(), "strip --json .");
    EXPECT_EQ(status, 1);
    ASSERT_EQ(lines.size(), 4u);
    const auto written = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(analyzePolyWav(folder / written.value("output", ""), ui::kSilenceThreshold).channels, written["kept"]);
    EXPECT_EQ(written.at("removed"), 1) << lines[0];
    EXPECT_TRUE(nlohmann::json::parse(lines[2]).contains("error")) << lines[2];
}

}  // namespace quillon::testing
