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
#include <utility>

#include "blocks.h"

namespace quillon::detail {
namespace {

// Frames of one measuring block; the early stop is decided per block.
constexpr std::uint64_t kBlockFrames = 48000;
// Reads are split so the buffer stays small whatever the block align.
constexpr std::size_t kMaxReadBytes = std::size_t{4} << 20;

// Integer samples: the measured value is the integer converted to single
// precision, scaled in single precision by a power of two, then widened to
// double. Each decoder yields that value without the scale (`unscaled`), so
// the loop needs no multiply: the square of an unscaled value is exact in
// double, the largest square gives the peak exactly (its square root is the
// unscaled magnitude), and the sum of the unscaled squares times the squared
// scale equals, bit for bit, the sum of the scaled squares taken sample by
// sample, because scaling by a power of two commutes with every rounding.
struct Pcm16 {
    static constexpr std::size_t bytes = 2;
    static constexpr float scale = 0x1p-15f;
    static double unscaled(const unsigned char* p) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    }
};

struct Pcm24 {
    static constexpr std::size_t bytes = 3;
    static constexpr float scale = 0x1p-23f;
    // Loads four bytes and drops the fourth: the read buffer carries padding
    // so the last sample's extra byte is always there.
    static double unscaled(const unsigned char* p) {
        std::uint32_t raw;
        std::memcpy(&raw, p, 4);
        return static_cast<std::int32_t>(raw << 8) >> 8;  // sign from bit 7 of the third byte
    }
};

struct Pcm32 {
    static constexpr std::size_t bytes = 4;
    static constexpr float scale = 0x1p-31f;
    // Single precision keeps 24 significant bits of the integer.
    static double unscaled(const unsigned char* p) {
        std::int32_t s;
        std::memcpy(&s, p, 4);
        return static_cast<float>(s);
    }
};

static_assert(std::endian::native == std::endian::little, "sample decoding assumes a little-endian host");

// Bytes past the end of the read buffer that a decoder may load.
constexpr std::size_t kReadPadding = 8;

template <class Decoder>
inline void measureSample(const unsigned char* p, double& largestSquare, double& sumSquares) {
    const double v = Decoder::unscaled(p);
    const double square = v * v;
    largestSquare = std::max(largestSquare, square);
    sumSquares += square;
}

// Measures `Channels` adjacent channels of every frame. The running values
// live in locals and the channel loop is unrolled, so they stay in registers
// instead of going through memory that the sample bytes might alias.
template <class Decoder, std::size_t... K>
void accumulateChannelGroup(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                            double* largestSquare, double* sumSquares, std::index_sequence<K...>) {
    double largest[] = {largestSquare[K]...};
    double sums[] = {sumSquares[K]...};
    for (std::size_t f = 0; f < frameCount; ++f) {
        const unsigned char* frame = frames + f * blockAlign;
        (measureSample<Decoder>(frame + K * Decoder::bytes, largest[K], sums[K]), ...);
    }
    ((largestSquare[K] = largest[K]), ...);
    ((sumSquares[K] = sums[K]), ...);
}

// Channels are measured in groups of up to eight; each channel's sum still
// runs over the frames in order, so the grouping changes no result.
constexpr std::size_t kGroupChannels = 8;

template <class Decoder, std::size_t Count>
void accumulateGroupOf(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                       double* largestSquare, double* sumSquares) {
    accumulateChannelGroup<Decoder>(frames, frameCount, blockAlign, largestSquare, sumSquares,
                                    std::make_index_sequence<Count>{});
}

template <class Decoder, std::size_t... Counts>
void accumulateIntegerFrames(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                             std::size_t channels, double* largestSquare, double* sumSquares,
                             std::index_sequence<Counts...>) {
    using Group = void (*)(const unsigned char*, std::size_t, std::size_t, double*, double*);
    static constexpr Group groups[] = {accumulateGroupOf<Decoder, Counts + 1>...};
    for (std::size_t first = 0; first < channels; first += kGroupChannels) {
        const std::size_t count = std::min(kGroupChannels, channels - first);
        groups[count - 1](frames + first * Decoder::bytes, frameCount, blockAlign, largestSquare + first,
                          sumSquares + first);
    }
}

// Float samples are measured as stored, widened to double. The comparison
// is strict, so a NaN sample never becomes the peak.
void accumulateFloatFrames(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                           std::size_t channels, double* peak, double* sumSquares) {
    for (std::size_t f = 0; f < frameCount; ++f) {
        const unsigned char* frame = frames + f * blockAlign;
        for (std::size_t k = 0; k < channels; ++k) {
            float stored;
            std::memcpy(&stored, frame + k * 4, 4);
            const double x = static_cast<double>(stored);
            const double m = std::fabs(x);
            if (m > peak[k]) peak[k] = m;
            sumSquares[k] += x * x;
        }
    }
}

struct Accumulators {
    explicit Accumulators(std::size_t channels)
        : largestSquare(channels, 0.0), peak(channels, 0.0), sumSquares(channels, 0.0) {}

    std::vector<double> largestSquare;  // integer formats: of the unscaled values
    std::vector<double> peak;
    std::vector<double> sumSquares;  // integer formats: without the format's square scale
};

using FrameAccumulator = void (*)(const unsigned char*, std::size_t, std::size_t, std::size_t, Accumulators&);

template <class Decoder>
void integerAccumulator(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                        std::size_t channels, Accumulators& acc) {
    accumulateIntegerFrames<Decoder>(frames, frameCount, blockAlign, channels, acc.largestSquare.data(),
                                     acc.sumSquares.data(), std::make_index_sequence<kGroupChannels>{});
    for (std::size_t k = 0; k < channels; ++k)
        acc.peak[k] = static_cast<double>(static_cast<float>(std::sqrt(acc.largestSquare[k])) * Decoder::scale);
}

void floatAccumulator(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                      std::size_t channels, Accumulators& acc) {
    accumulateFloatFrames(frames, frameCount, blockAlign, channels, acc.peak.data(), acc.sumSquares.data());
}

constexpr double squareOf(float scale) { return static_cast<double>(scale) * scale; }

struct FrameDecoding {
    FrameAccumulator accumulate;
    double squareScale;
};

FrameDecoding decodingFor(const SampleLayout& layout) {
    if (layout.format == 3) return {floatAccumulator, 1.0};
    switch (layout.bitsPerSample) {
        case 16: return {integerAccumulator<Pcm16>, squareOf(Pcm16::scale)};
        case 24: return {integerAccumulator<Pcm24>, squareOf(Pcm24::scale)};
        default: return {integerAccumulator<Pcm32>, squareOf(Pcm32::scale)};
    }
}

bool everyPeakReached(const std::vector<double>& peak, double threshold) {
    return std::all_of(peak.begin(), peak.end(), [threshold](double p) { return p >= threshold; });
}

}  // namespace

ChannelLevels scanSamples(std::istream& in, const SampleLayout& layout, double threshold) {
    const std::size_t channels = layout.channels;
    const std::size_t blockAlign = layout.blockAlign;
    const FrameDecoding decoding = decodingFor(layout);
    Accumulators acc(channels);

    const std::uint64_t total = blockAlign == 0 ? 0 : layout.dataSize / blockAlign;
    const std::size_t framesPerRead = framesPerBlock(kMaxReadBytes, blockAlign, kBlockFrames);
    const auto buffer = std::make_unique<unsigned char[]>(framesPerRead * blockAlign + kReadPadding);

    in.clear();
    in.seekg(static_cast<std::streamoff>(layout.dataOffset));
    // Reads never cross a block's end, where the early stop is decided.
    std::uint64_t done = 0;
    while (done < total) {
        const std::uint64_t toBlockEnd = kBlockFrames - done % kBlockFrames;
        const auto wanted =
            static_cast<std::size_t>(std::min({total - done, toBlockEnd, std::uint64_t{framesPerRead}}));
        in.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(wanted * blockAlign));
        const std::size_t frames = static_cast<std::size_t>(in.gcount()) / blockAlign;
        decoding.accumulate(buffer.get(), frames, blockAlign, channels, acc);
        done += frames;
        if (frames < wanted) break;  // the file ends before the declared data does
        if (done % kBlockFrames == 0 && everyPeakReached(acc.peak, threshold)) break;
    }

    ChannelLevels levels{std::move(acc.peak), std::vector<double>(channels, 0.0)};
    for (std::size_t k = 0; k < channels && done > 0; ++k)
        levels.rms[k] = std::sqrt(acc.sumSquares[k] * decoding.squareScale / static_cast<double>(done));
    return levels;
}

std::vector<std::vector<double>> slicePeaks(std::istream& in, const SampleLayout& layout, std::uint32_t slices,
                                            std::stop_token stop) {
    __extension__ typedef unsigned __int128 Uint128;
    const std::size_t channels = layout.channels;
    const std::size_t blockAlign = layout.blockAlign;
    const FrameDecoding decoding = decodingFor(layout);
    const std::uint64_t total = blockAlign == 0 ? 0 : layout.dataSize / blockAlign;
    const auto sliceEnd = [&](std::uint64_t slice) {
        return static_cast<std::uint64_t>(Uint128{slice + 1} * total / slices);
    };
    std::vector<std::vector<double>> peaks(channels, std::vector<double>(slices, 0.0));
    Accumulators acc(channels);
    std::uint64_t done = 0;
    std::uint32_t slice = 0;
    const auto closeFinishedSlices = [&] {
        for (; slice < slices && sliceEnd(slice) <= done; ++slice) {
            for (std::size_t k = 0; k < channels; ++k) peaks[k][slice] = acc.peak[k];
            acc = Accumulators(channels);
        }
    };

    const std::size_t framesPerRead = framesPerBlock(kMaxReadBytes, blockAlign, kBlockFrames);
    const auto buffer = std::make_unique<unsigned char[]>(framesPerRead * blockAlign + kReadPadding);
    in.clear();
    in.seekg(static_cast<std::streamoff>(layout.dataOffset));
    closeFinishedSlices();
    while (done < total) {
        if (stop.stop_requested()) return {};
        const auto wanted = static_cast<std::size_t>(std::min({total - done, sliceEnd(slice) - done,
                                                                std::uint64_t{framesPerRead}}));
        in.read(reinterpret_cast<char*>(buffer.get()), static_cast<std::streamsize>(wanted * blockAlign));
        const std::size_t frames = static_cast<std::size_t>(in.gcount()) / blockAlign;
        decoding.accumulate(buffer.get(), frames, blockAlign, channels, acc);
        done += frames;
        if (frames < wanted) break;
        closeFinishedSlices();
    }
    return peaks;
}

}  // namespace quillon::detail
