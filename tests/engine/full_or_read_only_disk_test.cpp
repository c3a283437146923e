// Destinations that cannot take the file: a file system that fills up
// during the write, and a folder the user may not write to. The error says
// so, the original is untouched and nothing is left behind.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

using namespace quillon::testing;
namespace fs = std::filesystem;

// Four 16-bit tracks, one silent: about 800 kB, whose slimmed copy (600 kB)
// does not fit beside it on a 1 MiB file system.
std::string take() {
    ChannelSamples samples(4);
    for (std::size_t k = 0; k < samples.size(); ++k)
        for (int f = 0; f < 100000; ++f) samples[k].push_back(k == 1 ? 0 : (f * 31 + static_cast<int>(k) * 7) % 50000 - 25000);
    return WavBuilder().fmt({.channels = 4, .bitsPerSample = 16}).data(pcmFrames(16, samples)).bytes();
}

class SmallFileSystem {
public:
    explicit SmallFileSystem(const fs::path& where) : where_(where) {
        fs::create_directory(where_);
        mounted_ = ::mount("quillon-test", where_.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount(where_.c_str());
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool mounted() const { return mounted_; }

private:
    fs::path where_;
    bool mounted_ = false;
};

TEST(FullDisk, TheWriteFailsCleanlyInBothModes) {
    TempDir dir;
    SmallFileSystem small(dir / "card");
    if (!small.mounted())
        GTEST_SKIP() << "mounting a small file system needs root and mount rights here; "
                        "the file-size-limit tests of the writer cover a failing write";
    const std::string original = take();
    const fs::path source = dir / "card" / "take.wav";
    for (const bool overwrite : {false, true}) {
        writeFile(source, original);
        try {
            quillon::compressPolyWav(source, overwrite, 0.001, {});
            ADD_FAILURE() << "a write that cannot fit was reported as done";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Could not write output file");
        }
        EXPECT_TRUE(readFile(source) == original);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "card")) names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"take.wav"}) << "overwrite " << overwrite;
    }
}

TEST(ReadOnlyFolder, RefusesBeforeWriting) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root, where folder permissions do not apply";
    TempDir dir;
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const std::string original = take();
    writeFile(folder / "take.wav", original);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    for (const bool overwrite : {false, true}) {
        try {
            quillon::compressPolyWav(folder / "take.wav", overwrite, 0.001, {});
            ADD_FAILURE() << "wrote into a read-only folder";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Could not create output file");
        }
        EXPECT_TRUE(readFile(folder / "take.wav") == original);
    }
    fs::permissions(folder, fs::perms::owner_all);
}

}  // namespace
