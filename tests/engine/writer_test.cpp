#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_probe.h"
#include "ixml_rewrite.h"
#include "messages.h"
#include "quillon/quillon.h"
#include "safe_file_replacement.h"
#include "wav_builder.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::ChannelSamples;
using testing::FmtSpec;
using testing::TempDir;
using testing::WavBuilder;

constexpr double kThreshold = 0.001;

struct ParsedChunk {
    std::string id;
    std::string payload;
    std::size_t payloadOffset = 0;
};

// Reads a written file strictly: RIFF size, every chunk complete, zero pad
// bytes, nothing after the last chunk.
std::vector<ParsedChunk> parseWav(const std::string& file) {
    std::vector<ParsedChunk> chunks;
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(file[at + i]);
        return v;
    };
    if (file.size() < 12 || file.compare(0, 4, "RIFF") != 0 || file.compare(8, 4, "WAVE") != 0) {
        ADD_FAILURE() << "no RIFF/WAVE header";
        return chunks;
    }
    EXPECT_EQ(u32(4), file.size() - 8) << "RIFF size";
    std::size_t at = 12;
    while (at < file.size()) {
        if (file.size() - at < 8) {
            ADD_FAILURE() << "partial chunk header at " << at;
            break;
        }
        const std::uint32_t size = u32(at + 4);
        const std::size_t padded = size + (size & 1u);
        if (file.size() - at - 8 < padded) {
            ADD_FAILURE() << "chunk " << file.substr(at, 4) << " runs past the end";
            break;
        }
        chunks.push_back({file.substr(at, 4), file.substr(at + 8, size), at + 8});
        if (size & 1u) {
            EXPECT_EQ(file[at + 8 + size], '\0') << "pad byte of " << chunks.back().id;
        }
        at += 8 + padded;
    }
    return chunks;
}

std::vector<std::string> idsOf(const std::vector<ParsedChunk>& chunks) {
    std::vector<std::string> ids;
    for (const auto& chunk : chunks) ids.push_back(chunk.id);
    return ids;
}

std::string payloadOf(const std::vector<ParsedChunk>& chunks, const std::string& id) {
    for (const auto& chunk : chunks)
        if (chunk.id == id) return chunk.payload;
    ADD_FAILURE() << "no " << id << " chunk";
    return {};
}

// Compares long byte strings without printing them whole.
void expectSameBytes(const std::string& actual, const std::string& expected, const char* what) {
    if (actual == expected) return;
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    ADD_FAILURE() << what << ": " << actual.size() << " bytes, expected " << expected.size()
                  << "; first difference at byte " << at << ": \"" << actual.substr(at > 40 ? at - 40 : 0, 120)
                  << "\" instead of \"" << expected.substr(at > 40 ? at - 40 : 0, 120) << "\"";
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::string hex(std::initializer_list<int> bytes) {
    std::string out;
    for (const int b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

std::int64_t floatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// A channel with signal well above the threshold, different on every channel.
std::vector<std::int64_t> loud(std::size_t frames, std::int64_t base) {
    std::vector<std::int64_t> samples(frames);
    for (std::size_t f = 0; f < frames; ++f) samples[f] = (f % 2 ? -1 : 1) * (base + static_cast<std::int64_t>(f));
    return samples;
}

std::vector<std::int64_t> silent(std::size_t frames) { return std::vector<std::int64_t>(frames, 0); }

std::string expectedIxml(const std::vector<std::string>& names) { return detail::buildTrackListIxml(names); }

// ---------------------------------------------------------------------------
// Layout of the written file

TEST(CompressPolyWav, SixTracksWithTwoEmptyGiveFourExtensibleChannels) {
    TempDir dir;
    const std::size_t frames = 5;
    const ChannelSamples source = {loud(frames, 100000),  silent(frames), loud(frames, 300000),
                                   loud(frames, -400000), silent(frames), loud(frames, 600000)};
    WavBuilder()
        .fmt({.formatTag = 1, .channels = 6, .bitsPerSample = 24})
        .data(testing::pcmFrames(24, source))
        .write(dir / "A012T03.WAV");

    const fs::path written = compressPolyWav(dir / "A012T03.WAV", false, kThreshold, {});

    EXPECT_EQ(written, dir / "A012T03_SLIM.WAV");
    const std::string fmt40 = hex({0xFE, 0xFF, 0x04, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0xCA, 0x08, 0x00, 0x0C, 0x00,
                                   0x18, 0x00, 0x16, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    const std::string expected = WavBuilder()
                                     .chunk("fmt ", fmt40)
                                     .chunk("iXML", expectedIxml({"Track 1", "Track 3", "Track 4", "Track 6"}))
                                     .data(testing::pcmFrames(24, {source[0], source[2], source[3], source[5]}))
                                     .bytes();
    EXPECT_EQ(testing::readFile(written), expected);
}

struct FmtCase {
    const char* label;
    FmtSpec source;
    std::vector<bool> silentChannels;
    FmtSpec expected;
};

class OutputFmt : public ::testing::TestWithParam<FmtCase> {};

TEST_P(OutputFmt, UsesTheShortFormUpToTwoChannelsWithTheEffectiveCode) {
    const FmtCase& c = GetParam();
    TempDir dir;
    ChannelSamples channels;
    const bool isFloat = c.source.formatTag == 3 || (c.source.formatTag == 0xFFFE && c.source.subFormat == 3);
    const std::int64_t signal = isFloat ? floatBits(0.5f) : 30000;
    for (const bool isSilent : c.silentChannels)
        channels.push_back(isSilent ? silent(4) : std::vector<std::int64_t>(4, signal));
    WavBuilder().fmt(c.source).data(testing::pcmFrames(c.source.bitsPerSample, channels)).write(dir / "in.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", false, kThreshold, {})));

    EXPECT_EQ(payloadOf(chunks, "fmt "), c.expected.payload());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputFmt,
    ::testing::Values(
        FmtCase{"pcm_to_two",
                {.formatTag = 1, .channels = 3, .bitsPerSample = 16},
                {false, true, false},
                {.formatTag = 1, .channels = 2, .bitsPerSample = 16}},
        FmtCase{"extensible_pcm_to_one",
                {.formatTag = 0xFFFE, .channels = 3, .bitsPerSample = 24, .subFormat = 1, .channelMask = 7},
                {true, false, true},
                {.formatTag = 1, .channels = 1, .bitsPerSample = 24}},
        FmtCase{"extensible_float_to_two",
                {.formatTag = 0xFFFE, .channels = 4, .bitsPerSample = 32, .subFormat = 3, .channelMask = 0x33},
                {false, true, true, false},
                {.formatTag = 3, .channels = 2, .bitsPerSample = 32}},
        FmtCase{"float_to_three_extensible",
                {.formatTag = 3, .channels = 4, .bitsPerSample = 32},
                {false, false, true, false},
                {.formatTag = 0xFFFE, .channels = 3, .bitsPerSample = 32, .subFormat = 3, .channelMask = 0}},
        FmtCase{"rate_kept",
                {.formatTag = 1, .channels = 2, .sampleRate = 96000, .bitsPerSample = 24},
                {true, false},
                {.formatTag = 1, .channels = 1, .sampleRate = 96000, .bitsPerSample = 24}}),
    [](const auto& info) { return std::string(info.param.label); });

struct OrderCase {
    const char* label;
    std::vector<testing::Chunk> source;  // "data" stands for the sample data
    std::vector<std::string> expectedIds;
};

class ChunkOrder : public ::testing::TestWithParam<OrderCase> {};

// Every carried chunk arrives with its payload unchanged, on its side of
// the data, in its order; fmt comes first or right after a leading bext.
TEST_P(ChunkOrder, CarriesEveryChunkOnItsSideInOrder) {
    TempDir dir;
    const FmtSpec fmtSpec{.formatTag = 1, .channels = 3, .bitsPerSample = 24};
    const ChannelSamples samples = {loud(7, 50000), silent(7), loud(7, 90000)};
    WavBuilder builder;
    for (const auto& chunk : GetParam().source) {
        if (chunk.id == "fmt ")
            builder.fmt(fmtSpec);
        else if (chunk.id == "data")
            builder.data(testing::pcmFrames(24, samples));
        else
            builder.chunk(chunk);
    }
    builder.write(dir / "in.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", false, kThreshold, {})));

    EXPECT_EQ(idsOf(chunks), GetParam().expectedIds);
    for (const auto& chunk : GetParam().source) {
        const bool carriedUnchanged = chunk.id != "fmt " && chunk.id != "data" && chunk.id.rfind("ond", 0) != 0;
        if (carriedUnchanged) {
            EXPECT_EQ(payloadOf(chunks, chunk.id), chunk.payload) << chunk.id;
        }
    }
    EXPECT_EQ(payloadOf(chunks, "data"), testing::pcmFrames(24, {samples[0], samples[2]}));
}

const testing::Chunk kFmtMark{"fmt ", "", {}, true};
const testing::Chunk kDataMark{"data", "", {}, true};

INSTANTIATE_TEST_SUITE_P(Cases, ChunkOrder,
                         ::testing::Values(OrderCase{"bext_first_keeps_its_place",
                                                     {{"bext", testing::bextPayload(123), {}, true},
                                                      {"JUNK", "odd", {}, true},
                                                      kFmtMark,
                                                      {"LIST", "INFOx", {}, true},
                                                      kDataMark,
                                                      {"cue ", "12345", {}, true}},
                                                     {"bext", "fmt ", "JUNK", "LIST", "iXML", "data", "cue "}},
                                           OrderCase{"other_first_puts_fmt_first",
                                                     {{"JUNK", std::string(28, '\0'), {}, true},
                                                      {"bext", testing::bextPayload(9), {}, true},
                                                      kFmtMark,
                                                      kDataMark},
                                                     {"fmt ", "JUNK", "bext", "iXML", "data"}},
                                           OrderCase{"chunks_after_data_stay_after",
                                                     {kDataMark,
                                                      kFmtMark,
                                                      {"bext", testing::bextPayload(5, 603), {}, true},
                                                      {"umid", "u", {}, true}},
                                                     {"fmt ", "iXML", "data", "bext", "umid"}},
                                           OrderCase{"per_channel_chunks_renumbered",
                                                     {kFmtMark,
                                                      {"ond1", "first", {}, true},
                                                      {"ond2", "second", {}, true},
                                                      {"ond3", "third", {}, true},
                                                      kDataMark},
                                                     {"fmt ", "ond1", "ond2", "iXML", "data"}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CompressPolyWav, ExistingXmlIsRewrittenInPlaceWithoutAddingADocument) {
    TempDir dir;
    const ChannelSamples samples = {silent(3), loud(3, 70000), loud(3, 80000)};
    const std::string ixml =
        "<BWFXML><TRACK_LIST><TRACK><NAME>A</NAME></TRACK><TRACK><NAME>B</NAME></TRACK>"
        "<TRACK><NAME>C</NAME></TRACK></TRACK_LIST></BWFXML>";
    WavBuilder()
        .fmt({.channels = 3, .bitsPerSample = 16})
        .data(testing::pcmFrames(16, samples))
        .chunk("axml", ixml)
        .write(dir / "in.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", false, kThreshold, {})));

    EXPECT_EQ(idsOf(chunks), (std::vector<std::string>{"fmt ", "data", "iXML"}));
    EXPECT_EQ(payloadOf(chunks, "iXML"), "<BWFXML>" + detail::buildTrackListInner({"B", "C"}) + "</BWFXML>");
}

// ---------------------------------------------------------------------------
// Sample data

struct ExactCase {
    const char* label;
    FmtSpec fmtSpec;
    std::vector<std::int64_t> extremes;
};

class BitExactCopy : public ::testing::TestWithParam<ExactCase> {};

// Every kept sample arrives byte for byte, over several copy blocks.
TEST_P(BitExactCopy, KeepsEverySampleUnchanged) {
    const ExactCase& c = GetParam();
    TempDir dir;
    const std::size_t frames = 2 * 48000 + 7;
    ChannelSamples channels(4, std::vector<std::int64_t>(frames));
    std::uint64_t noise = 0x9E3779B97F4A7C15u;
    for (std::size_t f = 0; f < frames; ++f) {
        noise = noise * 6364136223846793005u + 1442695040888963407u;
        channels[0][f] = c.extremes[f % c.extremes.size()];
        channels[1][f] = 0;
        channels[2][f] = static_cast<std::int64_t>(noise >> (64 - c.fmtSpec.bitsPerSample));
        channels[3][f] = c.extremes[(f * 7 + 3) % c.extremes.size()];
    }
    WavBuilder().fmt(c.fmtSpec).data(testing::pcmFrames(c.fmtSpec.bitsPerSample, channels)).write(dir / "in.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", true, kThreshold, {})));

    expectSameBytes(payloadOf(chunks, "data"),
                    testing::pcmFrames(c.fmtSpec.bitsPerSample, {channels[0], channels[2], channels[3]}), "data");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BitExactCopy,
    ::testing::Values(ExactCase{"pcm16",
                                {.formatTag = 1, .channels = 4, .bitsPerSample = 16},
                                {-32768, 32767, 32766, -32767, 16384, 1, -1, 0}},
                      ExactCase{"pcm24",
                                {.formatTag = 1, .channels = 4, .bitsPerSample = 24},
                                {-8388608, 8388607, 8388606, -8388607, 1, -1, 0, 123457}},
                      ExactCase{"pcm32",
                                {.formatTag = 0xFFFE, .channels = 4, .bitsPerSample = 32, .subFormat = 1},
                                {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                                 123456789, -123456789, 1, -1, 0}},
                      ExactCase{"float32",
                                {.formatTag = 3, .channels = 4, .bitsPerSample = 32},
                                {0x7FC00000, 0x7FA00001, 0xFFC12345, 0x7F800000, 0xFF800000, floatBits(-0.0f),
                                 floatBits(std::numeric_limits<float>::max()),
                                 floatBits(std::numeric_limits<float>::denorm_min()), floatBits(1.5f), floatBits(-1.0f),
                                 floatBits(0.1f)}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CompressPolyWav, ATruncatedSourceGivesSizesOfTheFramesWritten) {
    TempDir dir;
    const ChannelSamples samples = {loud(100, 40000), silent(100), loud(100, 60000)};
    const std::string fileBytes = WavBuilder()
                                      .chunk("bext", testing::bextPayload(7))
                                      .fmt({.channels = 3, .bitsPerSample = 24})
                                      .data(testing::pcmFrames(24, samples))
                                      .bytes();
    // 60 whole frames and a part of the 61st remain.
    const std::size_t dataStart = fileBytes.size() - 100 * 9;
    testing::writeFile(dir / "in.wav", fileBytes.substr(0, dataStart + 60 * 9 + 4));

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", false, kThreshold, {})));

    ChannelSamples kept = {samples[0], samples[2]};
    for (auto& channel : kept) channel.resize(60);
    EXPECT_EQ(idsOf(chunks), (std::vector<std::string>{"bext", "fmt ", "iXML", "data"}));
    EXPECT_EQ(payloadOf(chunks, "data"), testing::pcmFrames(24, kept));
}

TEST(CompressPolyWav, OddDataSizeGetsAPadByteBeforeTheChunksAfterIt) {
    TempDir dir;
    const ChannelSamples samples = {silent(5), loud(5, 20000), silent(5), loud(5, 90000), loud(5, 95000)};
    WavBuilder()
        .fmt({.channels = 5, .bitsPerSample = 24})
        .data(testing::pcmFrames(24, samples))
        .chunk("LIST", "abc")
        .write(dir / "in.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(dir / "in.wav", false, kThreshold, {})));

    EXPECT_EQ(payloadOf(chunks, "data").size(), 45u);
    EXPECT_EQ(payloadOf(chunks, "LIST"), "abc");
}

TEST(CompressPolyWav, AChunkCutShortIsWrittenAtItsDeclaredSizeWithoutBufferingIt) {
    TempDir dir;
    const std::uint32_t declared = 20u << 20;
    WavBuilder()
        .fmt({.channels = 2, .bitsPerSample = 16})
        .data(testing::pcmFrames(16, {loud(4, 9000), silent(4)}))
        .chunk({"JUNK", "start", declared, true})
        .write(dir / "in.wav");

    testing::AllocationProbe probe;
    const fs::path written = compressPolyWav(dir / "in.wav", false, kThreshold, {});
    EXPECT_LT(probe.largestRequest(), 1u << 20);

    const auto chunks = parseWav(testing::readFile(written));
    const std::string junk = payloadOf(chunks, "JUNK");
    ASSERT_EQ(junk.size(), declared);
    EXPECT_EQ(junk.substr(0, 5), "start");
    EXPECT_EQ(junk.find_first_not_of('\0', 5), std::string::npos);
}

TEST(CompressPolyWav, WideFramesUseBoundedBuffers) {
    TempDir dir;
    const std::uint16_t channelCount = 3000;
    const std::size_t frames = 2000;
    ChannelSamples channels(channelCount, silent(frames));
    channels[1] = loud(frames, 20000);
    channels[2999] = loud(frames, -30000);
    WavBuilder()
        .fmt({.channels = channelCount, .bitsPerSample = 16})
        .data(testing::pcmFrames(16, channels))
        .write(dir / "in.wav");

    testing::AllocationProbe probe;
    const fs::path written = compressPolyWav(dir / "in.wav", false, kThreshold, {});
    EXPECT_LE(probe.largestRequest(), 8u << 20);

    expectSameBytes(payloadOf(parseWav(testing::readFile(written)), "data"),
                    testing::pcmFrames(16, {channels[1], channels[2999]}), "data");
}

// ---------------------------------------------------------------------------
// Real recorder files

// What a shell command prints on its standard output.
std::string outputOf(const std::string& command, int& status) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = ::pclose(pipe);
    return out;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The kept channels as sox extracts them from the source, raw.
std::string soxRemix(const fs::path& source, const std::vector<int>& keptOneBased) {
    std::string command = "sox -D " + quoted(source) + " -t raw - remix";
    const std::string quiet = " 2>/dev/null";
    for (const int channel : keptOneBased) command += " " + std::to_string(channel);
    int status = 0;
    std::string out = outputOf(command + quiet, status);
    EXPECT_EQ(status, 0) << command;
    return out;
}

fs::path copyFromCorpus(const TempDir& dir, const std::string& name) {
    fs::copy_file(testing::corpusDir() / name, dir / name);
    fs::permissions(dir / name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return dir / name;
}

std::string sourceChunk(const fs::path& file, const std::string& id) {
    return payloadOf(parseWav(testing::readFile(file)), id);
}

// The iXML text that the rewrite must give for a recorder's upper-case
// document: its track list replaced, or, without one, the list inserted
// before the root's end; reserved zeros kept up to the old size.
std::string expectedIxmlAfterRewrite(const std::string& sourceIxml, const std::vector<std::string>& keptNames) {
    std::string text = sourceIxml;
    text.erase(text.find_last_not_of('\0') + 1);
    const std::string inner = detail::buildTrackListInner(keptNames);
    const std::size_t listStart = text.find("<TRACK_LIST>");
    if (listStart != std::string::npos) {
        const std::size_t listEnd = text.find("</TRACK_LIST>") + std::strlen("</TRACK_LIST>");
        text = text.substr(0, listStart) + inner + text.substr(listEnd);
    } else {
        const std::size_t rootEnd = text.find("</BWFXML>");
        EXPECT_NE(rootEnd, std::string::npos);
        text = text.substr(0, rootEnd) + inner + "\n" + text.substr(rootEnd);
    }
    text.resize(std::max(text.size(), sourceIxml.size()), '\0');
    return text;
}

// A101_1.WAV: channel 1 "MKH516 A" peaks near -85 dBFS and channel 2 "Boom"
// near -79 dBFS, so a threshold of 1e-4 keeps only "Boom".
TEST(CompressPolyWavCorpus, FieldRecorderFileKeepsItsMetadataAroundTheNewList) {
    TempDir dir;
    const fs::path source = copyFromCorpus(dir, "A101_1.WAV");
    const std::string sourceBytes = testing::readFile(source);

    const fs::path written = compressPolyWav(source, false, 1e-4, {});

    EXPECT_EQ(testing::readFile(source), sourceBytes);
    const auto chunks = parseWav(testing::readFile(written));
    EXPECT_EQ(idsOf(chunks), (std::vector<std::string>{"bext", "fmt ", "iXML", "data"}));
    EXPECT_EQ(payloadOf(chunks, "bext"), sourceChunk(source, "bext"));
    expectSameBytes(payloadOf(chunks, "iXML"), expectedIxmlAfterRewrite(sourceChunk(source, "iXML"), {"Boom"}), "iXML");
    expectSameBytes(payloadOf(chunks, "data"), soxRemix(source, {2}), "data");

    const PolyWavInfo info = analyzePolyWav(written, 1e-4);
    ASSERT_EQ(info.error, "");
    ASSERT_EQ(info.tracks.size(), 1u);
    EXPECT_EQ(info.tracks[0].name, "Boom");
    EXPECT_EQ(info.timecode, analyzePolyWav(source, 1e-4).timecode);
}

// STE-000.wav has no XML: it gains a document just before its data; its
// cue and list chunks stay after the data. Peaks: -78 dBFS and -76 dBFS.
TEST(CompressPolyWavCorpus, RecorderFileWithoutXmlGainsADocumentBeforeItsData) {
    TempDir dir;
    const fs::path source = copyFromCorpus(dir, "STE-000.wav");

    const auto chunks = parseWav(testing::readFile(compressPolyWav(source, true, 1.4e-4, {})));

    EXPECT_EQ(idsOf(chunks), (std::vector<std::string>{"bext", "fmt ", "iXML", "data", "cue ", "list"}));
    EXPECT_EQ(payloadOf(chunks, "iXML"), detail::buildTrackListIxml({"Track 2"}));
}

// Nuendo 5.1.wav: iXML after the data, six tracks of digital silence. The
// copy gets a signal on its first channel; `withoutList` also cuts the
// track list out of its iXML, leaving a BWFXML root without one.
std::string nuendoWithSignal(const std::string& bytes, bool withoutList) {
    WavBuilder builder;
    for (const auto& chunk : parseWav(bytes)) {
        std::string payload = chunk.payload;
        if (chunk.id == "data")
            for (std::size_t frame = 0; frame < 64; ++frame) payload[frame * 18 + 2] = 0x40;
        if (chunk.id == "iXML" && withoutList) {
            const std::size_t start = payload.find("<TRACK_LIST>");
            payload.erase(start, payload.find("</TRACK_LIST>") + std::strlen("</TRACK_LIST>") - start);
        }
        builder.chunk(chunk.id, payload);
    }
    return builder.bytes();
}

TEST(CompressPolyWavCorpus, WorkstationDocumentGetsTheListInItsPlaceOrBeforeItsRootEnd) {
    for (const bool withoutList : {false, true}) {
        TempDir dir;
        const fs::path source = dir / "Nuendo 5.1.wav";
        testing::writeFile(source,
                           nuendoWithSignal(testing::readFile(testing::corpusDir() / "Nuendo 5.1.wav"), withoutList));
        const std::string sourceIxml = sourceChunk(source, "iXML");
        EXPECT_EQ(sourceIxml.find("TRACK_LIST") == std::string::npos, withoutList);

        const auto chunks = parseWav(testing::readFile(compressPolyWav(source, true, kThreshold, {})));

        EXPECT_EQ(idsOf(chunks), (std::vector<std::string>{"fmt ", "JUNK", "bext", "Fake", "data", "iXML"}));
        expectSameBytes(payloadOf(chunks, "iXML"), expectedIxmlAfterRewrite(sourceIxml, {"Track 1"}), "iXML");
        EXPECT_EQ(payloadOf(chunks, "fmt "), (FmtSpec{.formatTag = 1, .channels = 1, .bitsPerSample = 24}.payload()));
    }
}

// ---------------------------------------------------------------------------
// Outside readers

// Lines of `report` other than the `expected` ones.
std::string unexpectedLines(const std::string& report, const std::vector<std::string>& expected) {
    std::string rest;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (std::ranges::find(expected, line) == expected.end()) rest += line + "\n";
    return rest;
}

void expectOutsideReadersAccept(const fs::path& file, bool isFloat) {
    int status = 0;
    const std::string soxInfo = outputOf("sox --i " + quoted(file) + " 2>&1", status);
    EXPECT_EQ(status, 0) << soxInfo;
    // sox expects an extension size after every non-PCM fmt, even after an
    // extensible one that it has read whole; float files written as the
    // format allows get this remark from it, recorders' files included.
    const std::vector<std::string> soxFloatRemark = {"sox WARN wav: wave header missing extended part of fmt chunk"};
    EXPECT_EQ(unexpectedLines(soxInfo, isFloat ? soxFloatRemark : std::vector<std::string>{}).find("WARN"),
              std::string::npos)
        << soxInfo;
    const std::string sndfileInfo = outputOf("sndfile-info " + quoted(file) + " 2>&1", status);
    EXPECT_EQ(status, 0) << sndfileInfo;
    // libsndfile remarks on three things that the format allows and this
    // writer does on purpose: an odd-sized data chunk followed by its pad
    // byte, an extensible fmt without speaker positions (the tracks are not
    // speakers), and no 'fact' chunk for such integer or float data. It makes
    // the same remarks on recorders' own files. Any other remark fails.
    const std::string remarks =
        unexpectedLines(sndfileInfo, {"*** 'data' chunk should be an even number of bytes in length.",
                                      "**** All non-PCM format files should have a 'fact' chunk.",
                                      "  Channel Mask  : 0x0 (should not be zero)"});
    for (const char* word : {"Warning", "WARNING", "warning", "Error", "error", "***", "should", "weird"})
        EXPECT_EQ(remarks.find(word), std::string::npos) << word << " in\n" << sndfileInfo;
}

struct ReaderCase {
    const char* label;
    FmtSpec fmtSpec;
    std::vector<bool> silentChannels;
};

class OutsideReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(OutsideReaders, OpenTheOutputAndFindTheKeptChannels) {
    const ReaderCase& c = GetParam();
    TempDir dir;
    ChannelSamples channels;
    std::vector<int> kept;
    const std::size_t frames = 48000 + 11;
    for (std::size_t i = 0; i < c.silentChannels.size(); ++i) {
        std::vector<std::int64_t> samples = silent(frames);
        if (!c.silentChannels[i]) {
            kept.push_back(static_cast<int>(i) + 1);
            // Values that are exact in every format sox converts through.
            for (std::size_t f = 0; f < frames; ++f) {
                const auto value = static_cast<std::int64_t>((f * 97 + i * 1013) % 20000) - 10000;
                samples[f] = c.fmtSpec.formatTag == 3 ? floatBits(static_cast<float>(value) / 32768.0f)
                                                   : value * (std::int64_t{1} << (c.fmtSpec.bitsPerSample - 16));
            }
        }
        channels.push_back(std::move(samples));
    }
    WavBuilder()
        .chunk("bext", testing::bextPayload(1000))
        .fmt(c.fmtSpec)
        .data(testing::pcmFrames(c.fmtSpec.bitsPerSample, channels))
        .chunk("LIST", "INFOINAM\x06\0\0\0Scene\0"s)
        .write(dir / "in.wav");

    const fs::path written = compressPolyWav(dir / "in.wav", false, 0.0001, {});

    expectOutsideReadersAccept(written, c.fmtSpec.formatTag == 3);
    expectSameBytes(payloadOf(parseWav(testing::readFile(written)), "data"), soxRemix(dir / "in.wav", kept), "data");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutsideReaders,
    ::testing::Values(
        ReaderCase{"pcm16_to_two", {.formatTag = 1, .channels = 3, .bitsPerSample = 16}, {false, true, false}},
        ReaderCase{"pcm24_to_one", {.formatTag = 1, .channels = 2, .bitsPerSample = 24}, {true, false}},
        ReaderCase{"pcm24_to_three",
                   {.formatTag = 1, .channels = 8, .bitsPerSample = 24},
                   {false, true, false, true, true, true, true, false}},
        ReaderCase{"pcm32_extensible_to_four",
                   {.formatTag = 0xFFFE, .channels = 6, .bitsPerSample = 32, .subFormat = 1},
                   {false, true, false, false, true, false}},
        ReaderCase{
            "float_to_three", {.formatTag = 3, .channels = 4, .bitsPerSample = 32}, {false, false, true, false}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OutsideReadersCorpus, OpenTheSlimmedRecorderFile) {
    TempDir dir;
    const fs::path source = copyFromCorpus(dir, "A101_1.WAV");
    const fs::path written = compressPolyWav(source, false, 1e-4, {});
    expectOutsideReadersAccept(written, false);
    expectSameBytes(payloadOf(parseWav(testing::readFile(written)), "data"), soxRemix(source, {2}), "data");
}

// ---------------------------------------------------------------------------
// Routes, failures and refusals

std::string twoOfThreeWav() {
    return WavBuilder()
        .fmt({.channels = 3, .bitsPerSample = 16})
        .data(testing::pcmFrames(16, {loud(50, 3000), silent(50), loud(50, 4000)}))
        .chunk("LIST", "after")
        .bytes();
}

struct RouteCase {
    const char* label;
    bool overwrite;
    const char* outputName;  // empty: derived
    const char* expectedName;
    bool sourceReplaced;
};

class Routes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(Routes, WriteTheResultUnderItsNameAndLeaveNothingElse) {
    const RouteCase& c = GetParam();
    TempDir dir;
    const std::string sourceBytes = twoOfThreeWav();
    testing::writeFile(dir / "Take.Wav", sourceBytes);
    ::chmod((dir / "Take.Wav").c_str(), 0640);
    // A stale temporary file from an interrupted run, and an old copy.
    testing::writeFile(detail::temporaryPathFor(dir / c.expectedName), "stale");
    testing::writeFile(dir / "Take_SLIM.Wav", "old copy");

    const fs::path output = *c.outputName ? dir / c.outputName : fs::path();
    const fs::path written = compressPolyWav(dir / "Take.Wav", c.overwrite, kThreshold, output);

    EXPECT_EQ(written, dir / c.expectedName);
    const std::string writtenBytes = testing::readFile(written);
    EXPECT_EQ(payloadOf(parseWav(writtenBytes), "data").size(), 50u * 4);
    std::set<std::string> expectedNames = {"Take.Wav", "Take_SLIM.Wav", c.expectedName};
    EXPECT_EQ(namesIn(dir.path()), expectedNames);
    if (c.sourceReplaced) {
        EXPECT_EQ(testing::readFile(dir / "Take.Wav"), writtenBytes);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "Take.Wav").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    } else {
        EXPECT_EQ(testing::readFile(dir / "Take.Wav"), sourceBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Routes,
                         ::testing::Values(RouteCase{"copy", false, "", "Take_SLIM.Wav", false},
                                           RouteCase{"overwrite", true, "", "Take.Wav", true},
                                           RouteCase{"explicit_output", false, "other.wav", "other.wav", false},
                                           RouteCase{"explicit_output_is_source", false, "Take.Wav", "Take.Wav", true},
                                           RouteCase{"overwrite_to_explicit_output", true, "other.wav", "other.wav",
                                                     false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CompressPolyWav, RelativePathsWriteBesideTheSource) {
    TempDir dir;
    testing::writeFile(dir / "rel.wav", twoOfThreeWav());
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const fs::path written = compressPolyWav("rel.wav", true, kThreshold, {});
    fs::current_path(before);
    EXPECT_EQ(written, fs::path("rel.wav"));
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"rel.wav"}));
}

// Runs the writer in a child process whose file size limit makes a write
// fail; returns the child's verdict: 0 when it threw "Could not write
// output file".
int writeUnderSizeLimit(const fs::path& source, bool overwrite, rlim_t limit) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit sizeLimit{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &sizeLimit);
        try {
            compressPolyWav(source, overwrite, kThreshold, {});
        } catch (const std::runtime_error& error) {
            ::_exit(std::string(error.what()) == detail::msg::couldNotWriteOutput ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

struct FaultCase {
    const char* label;
    bool overwrite;
    rlim_t limit;
};

class WriteFailure : public ::testing::TestWithParam<FaultCase> {};

TEST_P(WriteFailure, LeavesTheSourceAndNoOtherFile) {
    TempDir dir;
    const std::string sourceBytes =
        WavBuilder()
            .chunk("bext", testing::bextPayload(1))
            .fmt({.channels = 3, .bitsPerSample = 24})
            .data(testing::pcmFrames(24, {loud(60000, 90000), silent(60000), loud(60000, 80000)}))
            .chunk("LIST", std::string(5000, 'x'))
            .bytes();
    testing::writeFile(dir / "T1.WAV", sourceBytes);

    EXPECT_EQ(writeUnderSizeLimit(dir / "T1.WAV", GetParam().overwrite, GetParam().limit), 0);

    EXPECT_EQ(testing::readFile(dir / "T1.WAV"), sourceBytes);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"T1.WAV"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailure,
    ::testing::Values(FaultCase{"overwrite_in_header", true, 100}, FaultCase{"overwrite_in_audio", true, 200000},
                      FaultCase{"overwrite_in_last_chunk", true, 360000 + 1000}, FaultCase{"copy_in_header", false, 10},
                      FaultCase{"copy_in_audio", false, 300001}, FaultCase{"copy_in_last_chunk", false, 360000 + 1000}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CompressPolyWav, AFailedRenameRemovesTheTemporaryFile) {
    TempDir dir;
    const std::string sourceBytes = twoOfThreeWav();
    testing::writeFile(dir / "in.wav", sourceBytes);
    fs::create_directory(dir / "taken");
    testing::writeFile(dir / "taken" / "x", "x");

    try {
        compressPolyWav(dir / "in.wav", false, kThreshold, dir / "taken");
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), detail::msg::couldNotWriteOutput);
    }
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.wav", "taken"}));
    EXPECT_EQ(testing::readFile(dir / "in.wav"), sourceBytes);
}

struct RefusalCase {
    const char* label;
    std::string sourceBytes;
    const char* outputName;  // empty: derived copy
    std::string message;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, SayWhyAndCreateNothing) {
    const RefusalCase& c = GetParam();
    TempDir dir;
    const fs::path source = dir / ".out_compressing.wav";
    testing::writeFile(source, c.sourceBytes);
    const fs::path output = *c.outputName ? dir / c.outputName : fs::path();

    for (const bool overwrite : {false, true}) {
        try {
            compressPolyWav(source, overwrite, kThreshold, output);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), c.message);
        }
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{".out_compressing.wav"}));
        EXPECT_EQ(testing::readFile(source), c.sourceBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusals,
    ::testing::Values(
        RefusalCase{"not_riff", "RIFX\x10\0\0\0WAVEfmt "s, "", "Not a RIFF/WAVE file"},
        RefusalCase{"eight_bit", testing::simpleWav({.channels = 2, .bitsPerSample = 8}, {{0, 100}, {0, 0}}), "",
                    "Unsupported bit depth"},
        RefusalCase{"no_data", WavBuilder().fmt({}).bytes(), "", "Missing fmt or data chunk"},
        RefusalCase{"no_empty_track",
                    testing::simpleWav({.channels = 2, .bitsPerSample = 16}, {loud(9, 500), loud(9, 600)}), "",
                    "No empty tracks to remove"},
        RefusalCase{"every_track_empty",
                    testing::simpleWav({.channels = 2, .bitsPerSample = 16}, {silent(9), silent(9)}), "",
                    "All tracks are empty \xE2\x80\x94 nothing to keep"},
        RefusalCase{"output_folder_missing",
                    testing::simpleWav({.channels = 2, .bitsPerSample = 16}, {loud(9, 500), silent(9)}),
                    "missing/out.wav", "Could not create output file"},
        RefusalCase{"temporary_name_is_the_source",
                    testing::simpleWav({.channels = 2, .bitsPerSample = 16}, {loud(9, 500), silent(9)}), "out.wav",
                    "Could not create output file"},
        RefusalCase{
            "output_beyond_four_gigabytes",
            WavBuilder()
                .fmt({.channels = 2, .bitsPerSample = 16})
                .data(testing::pcmFrames(16, {loud(9, 500), silent(9)}))
                .chunk({"JUNK", "", 0xFFFFFFF0u, true})
                .bytes(),
            "", "Output file would exceed the 4 GB limit of a WAV file"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quillon
