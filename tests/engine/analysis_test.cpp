#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

using namespace quillon::testing;
using quillon::analyzePolyWav;

// A plain frame-by-frame measurement in the documented order of operations;
// the engine's specialised loops must agree with it bit for bit.
struct Reference {
    std::vector<double> peak, rms;
};

double decodeReference(const unsigned char* p, int bits, bool isFloat) {
    if (isFloat) {
        float f;
        std::memcpy(&f, p, 4);
        return static_cast<double>(f);
    }
    std::int64_t raw = 0;
    for (int i = 0; i < bits / 8; ++i) raw |= static_cast<std::int64_t>(p[i]) << (8 * i);
    if (raw & (std::int64_t{1} << (bits - 1))) raw -= std::int64_t{1} << bits;
    const float scale = std::ldexp(1.0f, -(bits - 1));
    return static_cast<double>(static_cast<float>(raw) * scale);
}

Reference measureAll(const std::string& data, int channels, int bits, bool isFloat) {
    const int bytes = bits / 8;
    const std::size_t frames = data.size() / static_cast<std::size_t>(channels * bytes);
    Reference r{std::vector<double>(channels, 0.0), std::vector<double>(channels, 0.0)};
    std::vector<double> sums(channels, 0.0);
    for (std::size_t f = 0; f < frames; ++f)
        for (int k = 0; k < channels; ++k) {
            const double x = decodeReference(
                reinterpret_cast<const unsigned char*>(data.data()) + (f * channels + k) * bytes, bits, isFloat);
            if (std::fabs(x) > r.peak[k]) r.peak[k] = std::fabs(x);
            sums[k] += x * x;
        }
    for (int k = 0; k < channels && frames > 0; ++k) r.rms[k] = std::sqrt(sums[k] / static_cast<double>(frames));
    return r;
}

std::string randomSamples(std::mt19937& random, int channels, std::size_t frames, int bits, bool isFloat) {
    std::string out(frames * channels * (bits / 8), '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : out) b = static_cast<char>(byte(random));
    if (isFloat)  // keep floats finite here; special values have their own test
        for (std::size_t i = 0; i + 4 <= out.size(); i += 4) {
            const float v = std::uniform_real_distribution<float>(-2.0f, 2.0f)(random);
            std::memcpy(out.data() + i, &v, 4);
        }
    return out;
}

struct FormatCase {
    const char* label;
    std::uint16_t tag;
    std::uint16_t subFormat;
    int bits;
    bool isFloat;
};

const FormatCase kFormats[] = {
    {"16-bit PCM", 1, 1, 16, false},        {"24-bit PCM", 1, 1, 24, false},
    {"32-bit PCM", 1, 1, 32, false},        {"32-bit float", 3, 3, 32, true},
    {"extensible 24-bit", 0xFFFE, 1, 24, false}, {"extensible float", 0xFFFE, 3, 32, true},
};

TEST(Analysis, MatchesThePlainScanBitForBitInEveryFormat) {
    TempDir dir;
    std::mt19937 random(20261206);
    for (const auto& format : kFormats)
        for (int channels : {1, 2, 3, 8}) {
            // More than two blocks, so block boundaries and the remainder are crossed.
            const std::size_t frames = 2 * 48000 + 777;
            const std::string data = randomSamples(random, channels, frames, format.bits, format.isFloat);
            FmtSpec fmtSpec{.formatTag = format.tag, .channels = static_cast<std::uint16_t>(channels),
                         .bitsPerSample = static_cast<std::uint16_t>(format.bits), .subFormat = format.subFormat};
            WavBuilder().fmt(fmtSpec).data(data).write(dir / "f.wav");

            // A threshold above every peak makes the scan read the whole file.
            const auto info = analyzePolyWav(dir / "f.wav", 1e9);
            ASSERT_EQ(info.error, "") << format.label;
            EXPECT_EQ(info.isFloat, format.isFloat) << format.label;
            EXPECT_EQ(info.bitsPerSample, format.bits) << format.label;
            const Reference expected = measureAll(data, channels, format.bits, format.isFloat);
            ASSERT_EQ(info.tracks.size(), static_cast<std::size_t>(channels));
            for (int k = 0; k < channels; ++k) {
                EXPECT_EQ(info.tracks[k].peak, expected.peak[k]) << format.label << " channel " << k;
                EXPECT_EQ(info.tracks[k].rms, expected.rms[k]) << format.label << " channel " << k;
                EXPECT_TRUE(info.tracks[k].empty);
            }
        }
}

struct ExtremeCase {
    const char* label;
    int bits;
    std::int64_t sample;
    double peak;
};

TEST(Analysis, FullScaleValues) {
    const ExtremeCase cases[] = {
        {"16-bit minimum", 16, -32768, 1.0},
        {"16-bit maximum", 16, 32767, 0.999969482421875},
        {"24-bit minimum", 24, -8388608, 1.0},
        {"32-bit maximum rounds to one", 32, 2147483647, 1.0},
        {"32-bit minimum", 32, -2147483648LL, 1.0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        FmtSpec fmtSpec{.channels = 2, .bitsPerSample = static_cast<std::uint16_t>(c.bits)};
        WavBuilder().fmt(fmtSpec).data(pcmFrames(fmtSpec.bitsPerSample, {{0, c.sample, 0}, {0, 0, 0}})).write(dir / "f.wav");
        const auto info = analyzePolyWav(dir / "f.wav", 0.001);
        ASSERT_EQ(info.error, "") << c.label;
        EXPECT_EQ(info.tracks[0].peak, c.peak) << c.label;
        EXPECT_FALSE(info.tracks[0].empty) << c.label;
        EXPECT_EQ(info.tracks[1].peak, 0.0) << c.label;
        EXPECT_TRUE(info.tracks[1].empty) << c.label;
    }
}

TEST(Analysis, FloatNaNNeverBecomesThePeakButPoisonsTheRms) {
    TempDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    WavBuilder()
        .fmt({.formatTag = 3, .channels = 3, .bitsPerSample = 32})
        .data(floatFrames({{0.5f, nan, 0.25f}, {-inf, 0.0f, 0.0f}, {1.5f, -2.0f, 0.0f}}))
        .write(dir / "f.wav");
    const auto info = analyzePolyWav(dir / "f.wav", 0.001);
    ASSERT_EQ(info.error, "");
    EXPECT_EQ(info.tracks[0].peak, 0.5);
    EXPECT_TRUE(std::isnan(info.tracks[0].rms));
    EXPECT_TRUE(std::isinf(info.tracks[1].peak));
    EXPECT_EQ(info.tracks[2].peak, 2.0);  // float data is not clipped
}

// 48000 quiet frames, then a loud passage on every channel.
std::string quietThenLoud(int channels, std::int64_t quiet, std::int64_t loud) {
    ChannelSamples samples(channels);
    for (auto& c : samples) {
        c.assign(48000, quiet);
        c.resize(96000, loud);
    }
    return pcmFrames(16, samples);
}

TEST(Analysis, EarlyStopAndThresholdRules) {
    TempDir dir;
    const FmtSpec fmtSpec{.channels = 2, .bitsPerSample = 16};
    // Every channel passes the threshold in the first block: the loud second
    // block is never read.
    WavBuilder().fmt(fmtSpec).data(quietThenLoud(2, 1000, 30000)).write(dir / "stop.wav");
    auto info = analyzePolyWav(dir / "stop.wav", 0.001);
    EXPECT_EQ(info.tracks[0].peak, 1000.0 / 32768);
    EXPECT_EQ(info.tracks[0].rms, 1000.0 / 32768);

    // One quiet channel keeps the scan going to the end.
    ChannelSamples mixed{std::vector<std::int64_t>(96000, 0), std::vector<std::int64_t>(96000, 1000)};
    mixed[1][90000] = 30000;
    WavBuilder().fmt(fmtSpec).data(pcmFrames(16, mixed)).write(dir / "full.wav");
    info = analyzePolyWav(dir / "full.wav", 0.001);
    EXPECT_EQ(info.tracks[1].peak, 30000.0 / 32768);
    EXPECT_TRUE(info.tracks[0].empty);

    // A peak equal to the threshold is active; a threshold of 0 flags nothing.
    info = analyzePolyWav(dir / "stop.wav", 1000.0 / 32768);
    EXPECT_FALSE(info.tracks[0].empty);
    info = analyzePolyWav(dir / "full.wav", 0.0);
    EXPECT_EQ(info.emptyCount(), 0);
}

TEST(Analysis, DurationsAndShortData) {
    TempDir dir;
    const FmtSpec fmtSpec{.channels = 2, .sampleRate = 48000, .bitsPerSample = 24};
    // Declares two seconds, holds three frames and half a frame.
    std::string data = pcmFrames(24, {{1, 2, 3}, {4, 5, 6}}) + "\x01\x02\x03";
    WavBuilder().fmt(fmtSpec).data(data, 2 * 48000 * 6).write(dir / "cut.wav");
    auto info = analyzePolyWav(dir / "cut.wav", 0.001);
    ASSERT_EQ(info.error, "");
    EXPECT_EQ(info.duration, 2.0);
    EXPECT_EQ(info.tracks[1].peak, 6.0 / 8388608);
    EXPECT_EQ(info.tracks[0].rms, std::sqrt((1.0 + 4.0 + 9.0) / 3.0) / 8388608);

    // Less than one frame: nothing read, everything silent.
    WavBuilder().fmt(fmtSpec).data("\x01\x02\x03").write(dir / "tiny.wav");
    info = analyzePolyWav(dir / "tiny.wav", 0.001);
    EXPECT_EQ(info.error, "");
    EXPECT_EQ(info.emptyCount(), 2);
    EXPECT_EQ(info.tracks[0].rms, 0.0);

    // Sample rate 0 gives duration 0, no timecode, and still measures.
    WavBuilder().chunk("bext", bextPayload(48000)).fmt({.channels = 2, .sampleRate = 0, .bitsPerSample = 16})
        .data(pcmFrames(16, {{100}, {0}})).write(dir / "norate.wav");
    info = analyzePolyWav(dir / "norate.wav", 0.001);
    EXPECT_EQ(info.duration, 0.0);
    EXPECT_EQ(info.timecode, "");
    EXPECT_EQ(info.tracks[0].peak, 100.0 / 32768);
}

TEST(Analysis, FailedFileKeepsOnlyPathAndError) {
    TempDir dir;
    writeFile(dir / "x.wav", "this is text, not audio");
    const auto info = analyzePolyWav(dir / "x.wav", 0.001);
    EXPECT_EQ(info.error, "Not a RIFF/WAVE file");
    EXPECT_EQ(info.path, dir / "x.wav");
    EXPECT_EQ(info.channels, 0);
    EXPECT_TRUE(info.tracks.empty());
}

TEST(Analysis, DefaultNamesAndIndexes) {
    TempDir dir;
    WavBuilder().fmt({.channels = 3, .bitsPerSample = 16}).data(pcmFrames(16, {{1}, {2}, {3}})).write(dir / "f.wav");
    const auto info = analyzePolyWav(dir / "f.wav", 0.001);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(info.tracks[i].index, i);
        EXPECT_EQ(info.tracks[i].name, "Track " + std::to_string(i + 1));
    }
}

struct CorpusCase {
    const char* file;
    int channels;
    std::string timecode;
    std::vector<std::string> names;
};

TEST(Analysis, RealRecorderFiles) {
    const CorpusCase cases[] = {
        {"A101_1.WAV", 2, "12:39:59:00", {"MKH516 A", "Boom"}},
        {"PT A101_4.A1.wav", 2, "12:40:15:00", {}},
        {"Nuendo Stereo.wav", 2, "01:00:00:00", {"Track 1", "Track 2"}},
        {"Nuendo 5.1.wav", 6, "", {"Track 1", "Track 2", "Track 3", "Track 4", "Track 5", "Track 6"}},
        {"A101_1_1.WAV", 1, "", {}},
        {"STE-000.wav", 2, "", {"Track 1", "Track 2"}},
    };
    for (const auto& c : cases) {
        const auto info = analyzePolyWav(corpusDir() / c.file, 0.001);
        ASSERT_EQ(info.error, "") << c.file;
        EXPECT_EQ(info.channels, c.channels) << c.file;
        if (!c.timecode.empty()) {
            EXPECT_EQ(info.timecode, c.timecode) << c.file;
        }
        for (std::size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(info.tracks[i].name, c.names[i]) << c.file;
    }
    const auto a101 = analyzePolyWav(corpusDir() / "A101_1.WAV", 1e-4);
    // "MKH516 A" peaks near -85 dBFS, "Boom" near -79 dBFS.
    EXPECT_TRUE(a101.tracks[0].empty);
    EXPECT_FALSE(a101.tracks[1].empty);
    const auto nuendo = analyzePolyWav(corpusDir() / "Nuendo 5.1.wav", 0.001);
    EXPECT_EQ(nuendo.emptyCount(), 6);
    EXPECT_EQ(analyzePolyWav(corpusDir() / "PT A101_4.A1.wav", 0.001).emptyCount(), 0);
}

}  // namespace
