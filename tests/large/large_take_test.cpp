// A take too long for a plain WAV file: 6.5 GB of three 24-bit tracks, one silent, as a sparse RF64 file
// with signal near its start, where the slimmed data crosses 4 GiB, and near its end; the holes cost no
// disk. Slimmed as a copy and in place, each result is RF64, analysed like the source, accepted by
// sndfile-info and mediainfo, and holds the source's kept samples wherever the source has signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace quillon::testing {

TEST(LargeTake, SlimsToRf64AsACopyAndInPlace) {
    constexpr std::uint64_t frames = 722'000'000, stretch = 4000;
    TempDir dir;
    const auto source = dir / "take.wav";
    std::string header = WavBuilder().chunk("fact", std::string(4, 0)).fmt({.channels = 3}).data("").bytes64();
    const std::uint64_t dataSize = frames * 9, riffSize = header.size() - 8 + dataSize;
    std::memcpy(&header[20], &riffSize, 8);
    std::memcpy(&header[28], &dataSize, 8);
    ChannelSamples tracks(3, std::vector<std::int64_t>(stretch, 0));
    for (std::int64_t f = 0; f < std::int64_t(stretch); ++f) tracks[0][f] = f * 2000 - 4'000'000, tracks[2][f] = -f * 999;
    // At the start, where the slimmed data passes 4 GiB (6-byte frames after a header), and at the end.
    const std::uint64_t firsts[] = {0, (std::uint64_t{1} << 32) / 6 - 100, frames - stretch};
    writeFile(source, header);
    for (const std::uint64_t first : firsts) {
        const std::string samples = pcmFrames(24, tracks);
        const int fd = ::open(source.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, samples.data(), samples.size(), off_t(header.size() + first * 9)), ssize_t(samples.size()));
        ASSERT_EQ(::ftruncate(fd, off_t(header.size() + dataSize)), 0);
        ::close(fd);
    }
    const PolyWavInfo before = analyzePolyWav(source, 0.001);
    ASSERT_EQ(before.emptyCount(), 1) << before.error;
    const std::string kept = pcmFrames(24, {tracks[0], tracks[2]});  // of every stretch
    for (const bool overwrite : {false, true}) {
        const std::filesystem::path written = compressPolyWav(source, overwrite, 0.001, {});
        const PolyWavInfo after = analyzePolyWav(written, 0.001);
        EXPECT_EQ(std::tuple(after.channels, after.activeCount(), after.duration), std::tuple(2, 2, before.duration));
        const std::string start = readFile(written, 0, 4096);
        const std::uint64_t dataOffset = start.find("data") + 8;
        EXPECT_EQ(start.substr(0, 4) + start.substr(start.find("fact") + 8, 4), "RF64\xFF\xFF\xFF\xFF");
        EXPECT_EQ(std::filesystem::file_size(written), dataOffset + frames * 6);
        for (const auto first : firsts) EXPECT_TRUE(readFile(written, dataOffset + first * 6, stretch * 6) == kept);
        const std::string quoted = " '" + written.string() + "' 2>&1", info = commandOutput("sndfile-info" + quoted);
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        EXPECT_NE(commandOutput("mediainfo" + quoted).find("RF64"), std::string::npos);
        if (!overwrite) std::filesystem::remove(written);
    }
}

}  // namespace quillon::testing
