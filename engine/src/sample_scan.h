// The sample scan: the per-channel peak and RMS of a file's interleaved
// samples, read block by block from the data chunk.
#pragma once

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
