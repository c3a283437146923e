// Runs the built quillon-cli as a process over generated folders and a copy
// of the real recorder files: texts, JSON and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

using namespace quillon::testing;
namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

CliRun runCli(const TempDir& scratch, const std::vector<std::string>& args) {
    std::string command = quoted(QUILLON_CLI_PATH);
    for (const auto& a : args) command += " " + quoted(a);
    const auto outFile = scratch / "stdout.txt";
    const auto errFile = scratch / "stderr.txt";
    command += " >" + quoted(outFile.string()) + " 2>" + quoted(errFile.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(outFile), readFile(errFile)};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Channels at full level or silent, 24-bit, a second long.
void writeTake(const fs::path& path, const std::vector<bool>& silent) {
    ChannelSamples samples;
    for (bool s : silent) samples.push_back(std::vector<std::int64_t>(48000, s ? 0 : 4000000));
    WavBuilder().fmt({.channels = static_cast<std::uint16_t>(silent.size()), .bitsPerSample = 24})
        .data(pcmFrames(24, samples))
        .write(path);
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(folder());
        writeTake(folder() / "A.wav", {false, true, false, true});
        writeTake(folder() / "B.wav", {false, false});
        writeTake(folder() / "mono.wav", {true});
        writeFile(folder() / "notes.wav", "not audio at all");
        writeFile(folder() / "readme.txt", "hello");
    }
    fs::path folder() const { return scratch / "takes"; }
    TempDir scratch;
};

const std::string kArrow = "\xE2\x86\x92";

TEST_F(CliTest, ScanPrintsTheWindowsLines) {
    const CliRun run = runCli(scratch, {"scan", folder().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 3u) << run.out;
    EXPECT_EQ(out[0], quillon::analyzePolyWav(folder() / "A.wav", 0.001).summary());
    EXPECT_EQ(out[1], quillon::analyzePolyWav(folder() / "B.wav", 0.001).summary());
    EXPECT_EQ(out[2], "Found 2 polyphonic WAV file(s); 1 have empty tracks.");
    EXPECT_EQ(run.err, "") << "no progress noise when standard error is not a terminal";
}

TEST_F(CliTest, ScanWithTracks) {
    const CliRun run = runCli(scratch, {"scan", "--tracks", folder().string()});
    const auto out = lines(run.out);
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[1], "   1  Track 1  -6.4 dB  active");
    EXPECT_EQ(out[2], "   2  Track 2  -inf  empty");
}

TEST_F(CliTest, ScanJsonRoundTripsTheAnalysis) {
    const CliRun run = runCli(scratch, {"scan", "--json", "--recursive", folder().string()});
    EXPECT_EQ(run.status, 0);
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << "nothing but one object per file: " << run.out;
    for (const auto& line : out) {
        const auto value = nlohmann::json::parse(line);
        const auto info = quillon::analyzePolyWav(value.at("path").get<std::string>(), 0.001);
        EXPECT_EQ(value.at("channels"), info.channels);
        EXPECT_EQ(value.at("sampleRate"), info.sampleRate);
        EXPECT_EQ(value.at("bitsPerSample"), info.bitsPerSample);
        EXPECT_EQ(value.at("isFloat"), info.isFloat);
        EXPECT_EQ(value.at("duration"), info.duration);
        EXPECT_EQ(value.at("timecode"), info.timecode);
        EXPECT_EQ(value.at("error"), info.error);
        ASSERT_EQ(value.at("tracks").size(), info.tracks.size());
        for (std::size_t i = 0; i < info.tracks.size(); ++i) {
            EXPECT_EQ(value["tracks"][i].at("peak"), info.tracks[i].peak);
            EXPECT_EQ(value["tracks"][i].at("rms"), info.tracks[i].rms);
            EXPECT_EQ(value["tracks"][i].at("empty"), info.tracks[i].empty);
            EXPECT_EQ(value["tracks"][i].at("name"), info.tracks[i].name);
        }
    }
}

TEST_F(CliTest, DryRunWritesNothing) {
    const auto before = std::distance(fs::directory_iterator(folder()), fs::directory_iterator());
    const CliRun run = runCli(scratch, {"strip", "--dry-run", folder().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).at(0), "A.wav " + kArrow + " A_SLIM.wav (2 removed, 2 kept)");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), before);
}

TEST_F(CliTest, StripWritesCopiesAndReportsFailures) {
    writeTake(folder() / "C.wav", {true, false});
    fs::create_directory(folder() / "C_SLIM.wav");  // the copy cannot be written there
    const std::string original = readFile(folder() / "A.wav");

    const CliRun run = runCli(scratch, {"strip", folder().string()});
    EXPECT_EQ(run.status, 1);
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << run.out;
    EXPECT_EQ(out[0], "A.wav " + kArrow + " A_SLIM.wav (2 removed, 2 kept)");
    EXPECT_EQ(out[1], "Removed empty tracks from 1 file(s). 1 failed.");
    EXPECT_EQ(run.err.rfind("C.wav: ", 0), 0u) << run.err;
    EXPECT_EQ(readFile(folder() / "A.wav"), original);
    EXPECT_EQ(quillon::analyzePolyWav(folder() / "A_SLIM.wav", 0.001).channels, 2);
}

TEST_F(CliTest, StripOverwriteOfNamedFiles) {
    const CliRun run = runCli(scratch, {"strip", "--overwrite", (folder() / "A.wav").string(),
                                     (folder() / "notes.wav").string(), (folder() / "B.wav").string()});
    EXPECT_EQ(run.status, 1) << "a named file that cannot be read is a failure";
    EXPECT_EQ(lines(run.out).at(0), "A.wav " + kArrow + " A.wav (2 removed, 2 kept)");
    EXPECT_EQ(run.err, "notes.wav: Not a RIFF/WAVE file\n");
    EXPECT_FALSE(fs::exists(folder() / "A_SLIM.wav"));
    EXPECT_EQ(quillon::analyzePolyWav(folder() / "A.wav", 0.001).channels, 2);
}

TEST_F(CliTest, CorpusCopy) {
    const auto corpus = scratch / "corpus";
    fs::copy(corpusDir(), corpus);
    for (const auto& entry : fs::directory_iterator(corpus))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    const CliRun scan = runCli(scratch, {"scan", corpus.string()});
    EXPECT_EQ(scan.status, 0);
    const auto out = lines(scan.out);
    EXPECT_EQ(out.back(), "Found 5 polyphonic WAV file(s); 4 have empty tracks.");
    EXPECT_EQ(scan.out.find("A101_1_1.WAV"), std::string::npos) << "mono files are not listed";
    EXPECT_EQ(out.front().rfind("12:39:59:00  A101_1.WAV", 0), 0u) << out.front();
}

struct UsageCase {
    std::vector<std::string> args;
    const char* mentions;
};

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    const UsageCase cases[] = {
        {{}, "subcommand"},
        {{"scan"}, "FOLDER"},
        {{"scan", "--bogus", "."}, "--bogus"},
        {{"scan", (folder() / "A.wav").string()}, "A.wav"},
        {{"scan", (scratch / "absent").string()}, "absent"},
        {{"strip"}, "PATH"},
        {{"frobnicate"}, "frobnicate"},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(scratch, c.args);
        EXPECT_EQ(run.status, 2) << c.mentions;
        const auto err = lines(run.err);
        ASSERT_EQ(err.size(), 2u) << run.err;
        EXPECT_NE(err[0].find(c.mentions), std::string::npos) << err[0];
        EXPECT_NE(err[1].find("--help"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CliTest, HelpAndVersion) {
    for (const auto& args : {std::vector<std::string>{"--help"}, {"scan", "--help"}, {"strip", "--help"}}) {
        const CliRun run = runCli(scratch, args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("--json"), std::string::npos) << run.out;
    }
    const CliRun version = runCli(scratch, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find('.'), std::string::npos);
}

}  // namespace
