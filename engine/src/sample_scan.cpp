// The hot loop of the product: decoding and measuring every sample of the
// frames read. Specialised per sample format so the inner loop has no
// branches on the format; the order of operations per channel is that of a
// plain frame-by-frame scan, so results are bit-identical to it.
#include "sample_scan.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

namespace quillon::detail {
namespace {

// Reads are split so the buffer stays small whatever the block align.
constexpr std::size_t kMaxReadBytes = std::size_t{4} << 20;

// Each decoder turns the bytes of one sample into the measured value: the
// integer converted to single precision, scaled in single precision, then
// widened to double.
struct Pcm16 {
    static constexpr std::size_t bytes = 2;
    static double value(const unsigned char* p) {
        const auto s = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
        return static_cast<double>(static_cast<float>(s) * 0x1p-15f);
    }
};

struct Pcm24 {
    static constexpr std::size_t bytes = 3;
    static double value(const unsigned char* p) {
        const std::uint32_t raw = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                  (static_cast<std::uint32_t>(p[2]) << 16);
        const auto s = static_cast<std::int32_t>(raw << 8) >> 8;  // sign from bit 7 of the third byte
        return static_cast<double>(static_cast<float>(s) * 0x1p-23f);
    }
};

struct Pcm32 {
    static constexpr std::size_t bytes = 4;
    static double value(const unsigned char* p) {
        std::int32_t s;
        std::memcpy(&s, p, 4);  // little-endian host
        return static_cast<double>(static_cast<float>(s) * 0x1p-31f);
    }
};

struct Float32 {
    static constexpr std::size_t bytes = 4;
    static double value(const unsigned char* p) {
        float f;
        std::memcpy(&f, p, 4);
        return static_cast<double>(f);
    }
};

static_assert(std::endian::native == std::endian::little, "sample decoding assumes a little-endian host");

// Strict "greater than": a NaN sample never becomes the peak.
inline double raisePeak(double peak, double x) {
    const double magnitude = std::fabs(x);
    return magnitude > peak ? magnitude : peak;
}

template <class Decoder>
void accumulateFrames(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                      std::size_t channels, double* peak, double* sumSquares) {
    for (std::size_t f = 0; f < frameCount; ++f) {
        const unsigned char* frame = frames + f * blockAlign;
        for (std::size_t k = 0; k < channels; ++k) {
            const double x = Decoder::value(frame + k * Decoder::bytes);
            peak[k] = raisePeak(peak[k], x);
            sumSquares[k] += x * x;
        }
    }
}

using Accumulate = void (*)(const unsigned char*, std::size_t, std::size_t, std::size_t, double*, double*);

Accumulate accumulatorFor(const SampleLayout& layout) {
    if (layout.format == 3) return accumulateFrames<Float32>;
    switch (layout.bitsPerSample) {
        case 16: return accumulateFrames<Pcm16>;
        case 24: return accumulateFrames<Pcm24>;
        default: return accumulateFrames<Pcm32>;
    }
}

bool everyPeakReached(const std::vector<double>& peak, double threshold) {
    return std::all_of(peak.begin(), peak.end(), [threshold](double p) { return p >= threshold; });
}

}  // namespace

ChannelLevels scanSamples(std::istream& in, const SampleLayout& layout, double threshold) {
    const std::size_t channels = layout.channels;
    const std::size_t blockAlign = layout.blockAlign;
    ChannelLevels levels{std::vector<double>(channels, 0.0), std::vector<double>(channels, 0.0)};
    std::vector<double> sumSquares(channels, 0.0);

    const std::uint64_t total = blockAlign == 0 ? 0 : layout.dataSize / blockAlign;
    const std::size_t framesPerRead =
        std::clamp<std::size_t>(kMaxReadBytes / std::max<std::size_t>(blockAlign, 1), 1, kBlockFrames);
    const auto buffer = std::make_unique<unsigned char[]>(framesPerRead * blockAlign);
    const Accumulate accumulate = accumulatorFor(layout);

    in.clear();
    in.seekg(static_cast<std::streamoff>(layout.dataOffset));
    std::uint64_t done = 0;
    bool exhausted = false;
    while (done < total && !exhausted) {
        const std::uint64_t blockEnd = done + std::min(total - done, kBlockFrames);
        while (done < blockEnd) {
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(blockEnd - done, framesPerRead));
            in.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(wanted * blockAlign));
            const std::size_t frames = static_cast<std::size_t>(in.gcount()) / blockAlign;
            accumulate(buffer.get(), frames, blockAlign, channels, levels.peak.data(), sumSquares.data());
            done += frames;
            if (frames < wanted) {
                exhausted = true;  // the file ends before the declared data does
                break;
            }
        }
        if (everyPeakReached(levels.peak, threshold)) break;
    }

    for (std::size_t k = 0; k < channels && done > 0; ++k)
        levels.rms[k] = std::sqrt(sumSquares[k] / static_cast<double>(done));
    return levels;
}

}  // namespace quillon::detail
