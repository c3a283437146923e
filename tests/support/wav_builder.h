// Builds WAV files for tests from a description: chunks in any order, any
// sizes (odd, lying or cut short), any fmt bytes, sample values per channel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillon::testing {

// Sample values per channel; every channel must hold the same frame count.
// Integer formats take the signed integer value of the sample; float takes
// its bits through `floatSamples`.
using ChannelSamples = std::vector<std::vector<std::int64_t>>;

struct FmtSpec {
    std::uint16_t formatTag = 1;  // 1 PCM, 3 float, 0xFFFE extensible
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 48000;
    std::uint16_t bitsPerSample = 24;
    std::optional<std::uint16_t> blockAlign;  // default channels * bits / 8
    std::optional<std::uint32_t> byteRate;    // default blockAlign * sampleRate
    std::uint16_t subFormat = 1;              // effective code of an extensible fmt
    std::uint32_t channelMask = 0;
    std::optional<std::size_t> size;          // payload size: 16, or 40 when extensible

    std::uint16_t effectiveBlockAlign() const;
    std::string payload() const;
};

struct Chunk {
    std::string id;                            // four bytes
    std::string payload;
    std::optional<std::uint32_t> declaredSize;  // default payload.size(); may lie
    bool padOddSize = true;                    // write the pad byte after an odd payload
};

// Little-endian interleaved sample bytes for integer PCM of 16, 24 or 32 bits.
std::string pcmFrames(std::uint16_t bitsPerSample, const ChannelSamples& channels);
// Little-endian interleaved IEEE floats, one vector per channel.
std::string floatFrames(const std::vector<std::vector<float>>& channels);
// A bext payload of `size` bytes (at least 346 for a time reference) with TimeReference set.
std::string bextPayload(std::uint64_t timeReference, std::size_t size = 602);

// A whole file as a chunk list after the 12-byte RIFF/WAVE header.
class WavBuilder {
public:
    WavBuilder& fmt(const FmtSpec& fmtSpec);
    WavBuilder& data(std::string sampleBytes, std::optional<std::uint32_t> declaredSize = std::nullopt);
    WavBuilder& chunk(Chunk chunk);
    WavBuilder& chunk(std::string id, std::string payload);
    WavBuilder& riffSize(std::uint32_t size);      // default: file size - 8
    WavBuilder& formType(std::string fourBytes);   // default "WAVE"
    WavBuilder& truncateTo(std::size_t bytes);     // cut the finished file

    std::string bytes() const;
    void write(const std::filesystem::path& path) const;

private:
    std::vector<Chunk> chunks_;
    std::optional<std::uint32_t> riffSize_;
    std::string formType_ = "WAVE";
    std::optional<std::size_t> truncateTo_;
};

// A common case: fmt then data for the given format and samples.
std::string simpleWav(const FmtSpec& fmtSpec, const ChannelSamples& channels);

void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

// A fresh temporary folder, removed with its contents on destruction.
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

// The read-only folder of real recorder files.
std::filesystem::path corpusDir();

}  // namespace quillon::testing
