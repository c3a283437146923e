// The sample scan: the per-channel peak and RMS of a file's interleaved
// samples, read block by block from the data chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stop_token>
#include <vector>

namespace quillon::detail {

struct SampleLayout {
    std::uint16_t format = 1;  // effective code: 1 integer PCM, 3 IEEE float
    std::uint16_t bitsPerSample = 16;
    std::uint16_t channels = 0;
    std::uint16_t blockAlign = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
};

struct ChannelLevels {
    std::vector<double> peak;
    std::vector<double> rms;
    std::uint64_t frames = 0;  // frames measured
};

// Running values per channel, as many as the channels rounded up to whole
// groups of lanes; the lanes past the last channel measure nothing of use.
// Plain doubles: the vector types are aligned differently in each clone.
struct Accumulators {
    static constexpr std::size_t kLanes = 8;  // channels measured side by side

    explicit Accumulators(std::size_t channels)
        : groups((channels + kLanes - 1) / kLanes),
          highest(groups * kLanes, 0),
          lowest(groups * kLanes, 0),
          peak(groups * kLanes, 0.0),
          sumSquares(groups * kLanes, 0.0) {}

    std::size_t groups;
    std::vector<std::int32_t> highest;  // integer formats
    std::vector<std::int32_t> lowest;
    std::vector<double> peak;
    std::vector<double> sumSquares;  // integer formats: without the format's square scale
};

// The measurement of frames handed over in file order, decoded per sample
// format: the sample scan's, for callers that read the frames themselves.
class ChannelMeter {
public:
    // Bytes after the last frame handed over that a decoder may load.
    static constexpr std::size_t kPadding = 4 * Accumulators::kLanes;

    explicit ChannelMeter(const SampleLayout& layout);
    void add(const unsigned char* frames, std::size_t count);
    std::uint64_t frames() const { return frames_; }
    double peak(std::size_t channel) const { return acc_.peak[channel]; }
    ChannelLevels levels() const;

private:
    struct Decoding {
        void (*accumulate)(const unsigned char* frames, std::size_t count, std::size_t blockAlign, Accumulators& acc);
        double squareScale;  // of the values summed, to the format's full scale
    };
    static Decoding decodingFor(const SampleLayout& layout);

    std::size_t channels_;
    std::size_t blockAlign_;
    Decoding decoding_;
    Accumulators acc_;
    std::uint64_t frames_ = 0;
};

// Measures every channel. Unless `wholeTake`, stops reading after the first
// block of 48000 frames at whose end every channel's peak has reached
// `threshold`: no track can turn empty then.
ChannelLevels scanSamples(std::istream& in, const SampleLayout& layout, double threshold, bool wholeTake);

// The peak of every channel in `slices` equal stretches of the whole data:
// peaks[channel][slice], slice s covering frames [s*F/slices, (s+1)*F/slices).
// Empty when `stop` was requested before the end.
std::vector<std::vector<double>> slicePeaks(std::istream& in, const SampleLayout& layout, std::uint32_t slices,
                                            std::stop_token stop);

}  // namespace quillon::detail
