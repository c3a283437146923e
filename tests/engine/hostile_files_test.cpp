// Files made to break a reader: each must give a clean analysis or one of
// the fixed error texts, quickly and within a small memory budget, and the
// writer must either write a valid file or refuse.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "allocation_probe.h"
#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

using namespace quillon::testing;
using namespace std::string_literals;

constexpr std::size_t kMemoryBudget = std::size_t{64} << 20;

const std::set<std::string> kFixedErrors = {
    "Could not open file", "Not a RIFF/WAVE file", "Invalid fmt chunk", "Missing fmt or data chunk",
    "Invalid format", "Unsupported WAV format (need PCM or IEEE float)", "Unsupported bit depth",
};

FmtSpec stereo16() { return {.channels = 2, .bitsPerSample = 16}; }
std::string someFrames() { return pcmFrames(16, {{1000, -1000, 0}, {0, 0, 0}}); }

std::string tinyChunks(int count) {
    WavBuilder builder;
    builder.fmt(stereo16());
    for (int i = 0; i < count; ++i) builder.chunk("JUNK", std::string(i % 2, 'x'));
    return builder.data(someFrames()).bytes();
}

std::string nestedUnclosedTags(std::size_t bytes) {
    std::string text;
    const std::string pieces[] = {"<TRACK_LIST ", "<TRACK>", "<NAME>", "<CHANNEL_INDEX> 1", "<TIMECODE_RATE>2"};
    for (std::size_t i = 0; text.size() < bytes; ++i) text += pieces[i % 5];
    return text;
}

std::string manyTracks(int count) {
    std::string text = "<BWFXML><TRACK_LIST>";
    for (int i = 0; i < count; ++i)
        text += "<TRACK><CHANNEL_INDEX>" + std::to_string(i % 3 + 1) + "</CHANNEL_INDEX><NAME>T" + std::to_string(i) +
                "</NAME></TRACK>";
    return text + "</TRACK_LIST></BWFXML>";
}

struct HostileCase {
    const char* label;
    std::string bytes;
    std::string error;  // "" for a clean analysis
};

std::vector<HostileCase> hostileCases() {
    return {
        {"bext of 0xFFFFFFFF bytes", WavBuilder().fmt(stereo16()).data(someFrames())
             .chunk(Chunk{"bext", "short", 0xFFFFFFFFu}).bytes(), ""},
        {"iXML of 0xFFFFFFFF bytes", WavBuilder().fmt(stereo16()).data(someFrames())
             .chunk(Chunk{"iXML", "<BWFXML>", 0xFFFFFFFFu}).bytes(), ""},
        {"fmt of 0xFFFFFFFF bytes", WavBuilder().chunk(Chunk{"fmt ", stereo16().payload(), 0xFFFFFFFFu})
             .data(someFrames()).bytes(), "Invalid fmt chunk"},
        {"data of 0xFFFFFFFF bytes", WavBuilder().fmt(stereo16()).data(someFrames(), 0xFFFFFFFFu).bytes(), ""},
        {"unknown chunk of 0xFFFFFFFF bytes", WavBuilder().fmt(stereo16()).chunk(Chunk{"LIST", "", 0xFFFFFFFFu})
             .data(someFrames()).bytes(), "Missing fmt or data chunk"},
        {"chunk header cut by the end", WavBuilder().fmt(stereo16()).data(someFrames()).chunk("LIST", "")
             .truncateTo(12 + 24 + 8 + 12 + 5).bytes(), ""},
        {"data before fmt with a lying size", WavBuilder().data(someFrames(), 1u << 30).fmt(stereo16()).bytes(),
         "Missing fmt or data chunk"},
        {"thousands of tiny chunks", tinyChunks(20000), ""},
        {"4 MiB of nested unclosed tags", WavBuilder().fmt(stereo16()).data(someFrames())
             .chunk("iXML", nestedUnclosedTags(4u << 20)).bytes(), ""},
        {"100 000 TRACK elements", WavBuilder().fmt({.channels = 3, .bitsPerSample = 16})
             .data(pcmFrames(16, {{1}, {0}, {2}})).chunk("iXML", manyTracks(100000)).bytes(), ""},
        {"65535 channels, block align 1", WavBuilder().fmt({.channels = 65535, .bitsPerSample = 16, .blockAlign = 1})
             .data(std::string(100, '\x7f')).bytes(), "Invalid format"},
        {"32767 channels in frames of 65535 bytes", WavBuilder().fmt({.channels = 32767, .bitsPerSample = 16, .blockAlign = 65535})
             .data(std::string(3 * 65535, '\x01')).bytes(), ""},
        {"sample rate 0", WavBuilder().chunk("bext", bextPayload(1000)).fmt({.channels = 2, .sampleRate = 0, .bitsPerSample = 16})
             .data(someFrames()).bytes(), ""},
        {"sample rate 0xFFFFFFFF", WavBuilder().chunk("bext", bextPayload(1000)).fmt({.channels = 2, .sampleRate = 0xFFFFFFFFu, .bitsPerSample = 16})
             .data(someFrames()).bytes(), ""},
        {"names with NUL bytes and invalid UTF-8", WavBuilder().fmt(stereo16()).data(someFrames())
             .chunk("iXML", "<TRACK><NAME>a\0b\xFF\xC3(</NAME></TRACK>"s).bytes(), ""},
        {"RIFF size of zero", WavBuilder().riffSize(0).fmt(stereo16()).data(someFrames()).bytes(), ""},
    };
}

TEST(HostileFiles, AnalysisStaysCleanFastAndSmall) {
    TempDir dir;
    for (const auto& c : hostileCases()) {
        writeFile(dir / "hostile.wav", c.bytes);
        AllocationProbe probe;
        const auto start = std::chrono::steady_clock::now();
        const auto info = quillon::analyzePolyWav(dir / "hostile.wav", 0.001);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(info.error, c.error) << c.label;
        if (!info.error.empty()) {
            EXPECT_TRUE(kFixedErrors.count(info.error)) << c.label;
        } else {
            EXPECT_EQ(info.tracks.size(), static_cast<std::size_t>(info.channels)) << c.label;
            EXPECT_GE(info.duration, 0.0) << c.label;
        }
        EXPECT_LT(probe.peakLiveBytes(), kMemoryBudget) << c.label;
        EXPECT_LT(seconds, 5.0) << c.label;
    }
}

TEST(HostileFiles, WriterWritesAValidFileOrRefuses) {
    TempDir dir;
    for (const auto& c : hostileCases()) {
        writeFile(dir / "hostile.wav", c.bytes);
        std::filesystem::remove(dir / "out.wav");
        AllocationProbe probe;
        try {
            quillon::compressPolyWav(dir / "hostile.wav", false, 0.001, dir / "out.wav");
            const auto out = quillon::analyzePolyWav(dir / "out.wav", 0.001);
            EXPECT_EQ(out.error, "") << c.label;
            EXPECT_EQ(out.emptyCount(), 0) << c.label;
        } catch (const std::runtime_error& e) {
            EXPECT_FALSE(std::filesystem::exists(dir / "out.wav")) << c.label << ": " << e.what();
        }
        EXPECT_LT(probe.peakLiveBytes(), kMemoryBudget) << c.label;
    }
}

}  // namespace
