// A write that silently stores a wrong byte (a failing disk or controller):
// the in-place route reads its file back before replacing the original, so
// the original must survive. This binary interposes write(2) to flip one
// byte of the stream while armed.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

std::atomic<long long> corruptByte{-1};  // offset in the bytes written while armed
std::atomic<long long> bytesSeen{0};

}  // namespace

extern "C" ssize_t write(int fd, const void* buffer, size_t size) {
    const long long target = corruptByte.load();
    const long long start = bytesSeen.load();
    if (fd > 2 && target >= 0) {
        bytesSeen += static_cast<long long>(size);
        if (target >= start && target < start + static_cast<long long>(size)) {
            std::vector<unsigned char> copy(static_cast<const unsigned char*>(buffer),
                                            static_cast<const unsigned char*>(buffer) + size);
            copy[static_cast<std::size_t>(target - start)] ^= 0x01;
            return syscall(SYS_write, fd, copy.data(), size);
        }
    }
    return syscall(SYS_write, fd, buffer, size);
}

namespace {

using namespace quillon::testing;

class Armed {
public:
    explicit Armed(long long byte) {
        bytesSeen = 0;
        corruptByte = byte;
    }
    ~Armed() { corruptByte = -1; }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
};

std::string take() {
    ChannelSamples samples(4);
    for (std::size_t k = 0; k < samples.size(); ++k)
        for (int f = 0; f < 100000; ++f) samples[k].push_back(k == 2 ? 0 : (f * 37 + static_cast<int>(k)) % 60000 - 30000);
    return WavBuilder().fmt({.channels = 4, .bitsPerSample = 16}).data(pcmFrames(16, samples)).bytes();
}

TEST(WriteFault, AFlippedAudioByteNeverReplacesTheOriginal) {
    TempDir dir;
    const std::string original = take();
    // Bytes of the audio, which starts after a header of a few hundred bytes.
    for (const long long byte : {2000LL, 300000LL, 600000LL}) {
        writeFile(dir / "take.wav", original);
        {
            Armed armed(byte);
            try {
                quillon::compressPolyWav(dir / "take.wav", true, 0.001, {});
                ADD_FAILURE() << "a corrupted copy replaced the original (byte " << byte << ")";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Could not write output file");
            }
        }
        EXPECT_TRUE(readFile(dir / "take.wav") == original) << byte;
        EXPECT_FALSE(std::filesystem::exists(dir / ".take_compressing.wav")) << byte;
    }
}

TEST(WriteFault, AnUndisturbedWriteReplacesTheOriginal) {
    TempDir dir;
    writeFile(dir / "take.wav", take());
    Armed armed(-1);
    EXPECT_EQ(quillon::compressPolyWav(dir / "take.wav", true, 0.001, {}), dir / "take.wav");
    EXPECT_EQ(quillon::analyzePolyWav(dir / "take.wav", 0.001).channels, 3);
}

}  // namespace
