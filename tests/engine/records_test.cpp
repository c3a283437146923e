#include <gtest/gtest.h>

#include <clocale>

#include "quillon/quillon.h"

namespace {

using quillon::PolyWavInfo;
using quillon::TrackInfo;

const std::string kDash = "\xE2\x80\x94";

PolyWavInfo record(std::string path, std::int32_t channels, std::int32_t empties, std::int32_t rate, double duration,
                   std::string timecode = "", std::string error = "") {
    PolyWavInfo info;
    info.path = std::move(path);
    info.channels = channels;
    info.sampleRate = rate;
    info.duration = duration;
    info.timecode = std::move(timecode);
    info.error = std::move(error);
    for (std::int32_t i = 0; i < channels; ++i) {
        TrackInfo t;
        t.index = i;
        t.empty = i < empties;
        info.tracks.push_back(t);
    }
    return info;
}

struct SummaryCase {
    const char* label;
    PolyWavInfo info;
    std::string expected;
};

TEST(Summary, LinesForEveryFileState) {
    const SummaryCase cases[] = {
        {"with timecode", record("/x/T001.wav", 8, 2, 48000, 93.46, "10:04:33:12"),
         "10:04:33:12  T001.wav  " + kDash + "  8 tracks (6 active, 2 empty)  48000 Hz  93.5s"},
        {"without timecode", record("T001.wav", 8, 2, 48000, 93.46),
         "T001.wav  " + kDash + "  8 tracks (6 active, 2 empty)  48000 Hz  93.5s"},
        {"rounds up to a whole minute", record("a.wav", 2, 0, 44100, 59.96),
         "a.wav  " + kDash + "  2 tracks (2 active, 0 empty)  44100 Hz  60.0s"},
        {"all zero", record("T.wav", 0, 0, 0, 0.0), "T.wav  " + kDash + "  0 tracks (0 active, 0 empty)  0 Hz  0.0s"},
        {"error wins over timecode", record("d/T017.wav", 0, 0, 0, 0.0, "01:00:00:00", "Not a RIFF/WAVE file"),
         "T017.wav  " + kDash + "  error: Not a RIFF/WAVE file"},
        {"path ending in a separator", record("folder/", 2, 1, 48000, 1.0),
         "  " + kDash + "  2 tracks (1 active, 1 empty)  48000 Hz  1.0s"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.info.summary(), c.expected) << c.label;
}

TEST(Summary, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    const auto line = record("a.wav", 2, 0, 48000, 1.25).summary();
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_NE(line.find("1.2s"), std::string::npos) << line;
}

TEST(Records, DefaultsAndCounts) {
    TrackInfo track;
    EXPECT_TRUE(track.empty);
    EXPECT_EQ(track.index, 0);

    PolyWavInfo info;
    info.tracks.resize(3);
    info.tracks[1].empty = false;
    EXPECT_EQ(info.emptyCount(), 2);
    EXPECT_EQ(info.activeCount(), 1);
}

}  // namespace
