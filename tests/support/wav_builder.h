// Builds WAV files for tests from a description: chunks in any order, any
// sizes (odd, lying or cut short), any fmt bytes, sample values per channel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::testing {

// Sample values per channel; every channel holds the same frame count.
using ChannelSamples = std::vector<std::vector<std::int64_t>>;

struct FmtSpec {
    std::uint16_t formatTag = 1;  // 1 PCM, 3 float, 0xFFFE extensible
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 48000;
    std::uint16_t bitsPerSample = 24;
    std::optional<std::uint16_t> blockAlign;  // default channels * bits / 8
    std::uint16_t subFormat = 1;              // effective code of an extensible fmt
    std::uint32_t channelMask = 0;
    std::string payload() const;
};

// `id` is four bytes; the declared size defaults to the payload's and may lie.
struct Chunk { std::string id, payload; std::optional<std::uint32_t> declaredSize; };

// Little-endian interleaved samples of 16, 24 or 32 bits.
std::string pcmFrames(std::uint16_t bitsPerSample, const ChannelSamples& channels);
std::string floatFrames(const std::vector<std::vector<float>>& channels);
// A bext payload of `size` bytes with TimeReference set (cut where `size` ends before it).
std::string bextPayload(std::uint64_t timeReference, std::size_t size = 602);

void writeFile(const std::filesystem::path& path, const std::string& bytes);
// The file's bytes from `offset` on, at most `size` of them.
std::string readFile(const std::filesystem::path& path, std::uint64_t offset = 0, std::size_t size = SIZE_MAX);

// A whole file: the RIFF/WAVE header, then the chunks in the order added,
// each odd payload followed by its pad byte.
class WavBuilder {
public:
    WavBuilder& fmt(const FmtSpec& format) { return chunk("fmt ", format.payload()); }
    WavBuilder& data(std::string bytes, std::optional<std::uint32_t> size = {}) { return chunk({"data", bytes, size}); }
    WavBuilder& chunk(std::string id, std::string payload) { return chunk({std::move(id), std::move(payload), {}}); }
    WavBuilder& chunk(const Chunk& chunk);
    WavBuilder& truncateTo(std::size_t bytes) { return truncateTo_ = bytes, *this; }  // cuts the finished file
    WavBuilder& riffSize(std::uint32_t size) { return riffSize_ = size, *this; }  // instead of the true size
    std::string bytes() const;
    void write(const std::filesystem::path& path) const { writeFile(path, bytes()); }
    // The 64-bit form: `form` ("RF64" or "BW64") and a first ds64 chunk with the data size, which the data
    // chunk's size field leaves to it, and the sizes of `table` for chunks declared 0xFFFFFFFF.
    std::string bytes64(const std::string& form = "RF64",
                        const std::vector<std::pair<std::string, std::uint64_t>>& table = {}) const;

private:
    std::string body_;
    std::size_t truncateTo_ = SIZE_MAX;
    std::optional<std::uint32_t> riffSize_;
    std::size_t dataSizeAt_ = 0;  // in body_, of the last data chunk
    std::uint64_t dataSize_ = 0;
};

// fmt then data for the given format and samples.
std::string simpleWav(const FmtSpec& format, const ChannelSamples& channels);
// One 24-bit track of `frames` frames per letter of `levels`: '1' a signal at -18 dBFS, 'q' one at -78 dBFS, 'r' one
// that rises from -42 to -6 dBFS halfway, '0' digital silence.
ChannelSamples levelTracks(const std::string& levels, std::size_t frames);
// simpleWav of those tracks.
std::string levelTake(const std::string& levels, std::size_t frames);

// A fresh temporary folder (mode 0755), removed with its contents on
// destruction; a test that takes permissions away gives them back.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// What a shell command prints on its standard output; empty, and a test failure, when it does not succeed.
std::string commandOutput(const std::string& command);

// The read-only folder of real recorder files.
inline std::filesystem::path corpusDir() { return QUILLON_CORPUS_DIR; }

// Runs `body` in a forked child as the unprivileged user "nobody" (the tests
// run as root in CI, where permissions would not apply) and returns the
// child's exit status; `body` returns 0 for success. `folder` is handed to
// nobody first, so the child may create files in it.
int runAsNobody(const std::filesystem::path& folder, const std::function<int()>& body);

}  // namespace quillon::testing
