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
#include "frame_reader.h"

namespace quillon::detail {
namespace {

// Frames of one measuring block; the early stop is decided per block.
constexpr std::uint64_t kBlockFrames = 48000;
// Reads of half a mebibyte at most, whatever the block align: the few
// chunks in flight stay in the processor's caches while one thread reads and
// the other measures.
constexpr std::size_t kMaxReadBytes = std::size_t{512} << 10;

// The loop runs over frames with eight adjacent channels in the lanes of one
// vector, so each channel's running sum still adds its samples in frame
// order: the lanes make it faster, never different. Every vector operation
// here is exact or the same rounding the plain scan does.
constexpr std::size_t kLanes = Accumulators::kLanes;
using Doubles = double __attribute__((vector_size(8 * kLanes)));
using Floats = float __attribute__((vector_size(4 * kLanes)));
using Ints = std::int32_t __attribute__((vector_size(4 * kLanes)));
using Shorts = std::int16_t __attribute__((vector_size(2 * kLanes)));
using Bytes = unsigned char __attribute__((vector_size(4 * kLanes)));

// Everything the clones below call is inlined into each of them, so it is
// compiled for that clone's registers, and no vector ever crosses a call:
// GCC's note that such a call would pass it differently per target does not
// apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#define QUILLON_INLINE inline __attribute__((always_inline))

template <class Vector>
QUILLON_INLINE Vector load(const unsigned char* p) {
    Vector v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Integer samples: the measured value is the integer converted to single
// precision, scaled in single precision by a power of two, then widened to
// double. Each decoder yields the integers (`raw`) and that value without the
// scale (`unscaled`), so the loop needs no multiply: the square of an
// unscaled value is exact in double, and the sum of the unscaled squares
// times the squared scale equals, bit for bit, the sum of the scaled squares
// taken sample by sample, because scaling by a power of two commutes with
// every rounding. The peak is the largest magnitude, found as an integer
// from the highest and lowest sample: conversion to single precision never
// turns a larger integer into a smaller value, so it converts once at the
// end to the same result.
struct Pcm16 {
    static constexpr std::size_t bytes = 2;
    static constexpr float scale = 0x1p-15f;
    static QUILLON_INLINE Ints raw(const unsigned char* p) { return __builtin_convertvector(load<Shorts>(p), Ints); }
    static QUILLON_INLINE Doubles unscaled(const Ints& raw) { return __builtin_convertvector(raw, Doubles); }
};

struct Pcm24 {
    static constexpr std::size_t bytes = 3;
    static constexpr float scale = 0x1p-23f;
    // Each sample's three bytes go to the top of a 32-bit lane, and the shift
    // brings them down with their sign (bit 7 of the third byte).
    static QUILLON_INLINE Ints raw(const unsigned char* p) {
        const Bytes packed = load<Bytes>(p);
        const Bytes spread = __builtin_shufflevector(packed, packed, 0, 0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11,
                                                     12, 12, 13, 14, 15, 15, 16, 17, 18, 18, 19, 20, 21, 21, 22, 23);
        return reinterpret_cast<const Ints&>(spread) >> 8;
    }
    static QUILLON_INLINE Doubles unscaled(const Ints& raw) { return __builtin_convertvector(raw, Doubles); }
};

struct Pcm32 {
    static constexpr std::size_t bytes = 4;
    static constexpr float scale = 0x1p-31f;
    static QUILLON_INLINE Ints raw(const unsigned char* p) { return load<Ints>(p); }
    // Single precision keeps 24 significant bits of the integer.
    static QUILLON_INLINE Doubles unscaled(const Ints& raw) {
        return __builtin_convertvector(__builtin_convertvector(raw, Floats), Doubles);
    }
};

// Float samples are measured as stored, widened to double.
struct Float32 {
    static constexpr std::size_t bytes = 4;
    static QUILLON_INLINE Doubles value(const unsigned char* p) { return __builtin_convertvector(load<Floats>(p), Doubles); }
};

static_assert(std::endian::native == std::endian::little, "sample decoding assumes a little-endian host");

// Bytes past the end of the read buffer that a decoder may load: the last
// group of a frame reads eight samples wherever its channels end.
constexpr std::size_t kReadPadding = ChannelMeter::kPadding;
static_assert(kReadPadding >= 4 * kLanes);

QUILLON_INLINE Doubles loadLanes(const std::vector<double>& values, std::size_t group) {
    return load<Doubles>(reinterpret_cast<const unsigned char*>(values.data() + group * kLanes));
}

QUILLON_INLINE void storeLanes(std::vector<double>& values, std::size_t group, const Doubles& lanes) {
    std::memcpy(values.data() + group * kLanes, &lanes, sizeof lanes);
}

// Wide registers where the processor has them, the same source everywhere.
#if defined(__x86_64__)
#define QUILLON_VECTOR_CLONES __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
#else
#define QUILLON_VECTOR_CLONES
#endif

// The largest magnitude between the highest and lowest sample, which start
// at zero; in unsigned arithmetic, as the lowest integer's magnitude needs.
QUILLON_INLINE std::uint32_t magnitudeOf(std::int32_t highest, std::int32_t lowest) {
    return std::max(static_cast<std::uint32_t>(highest), 0u - static_cast<std::uint32_t>(lowest));
}

template <class Decoder>
QUILLON_INLINE void accumulateIntegers(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                                       Accumulators& acc) {
    for (std::size_t group = 0; group < acc.groups; ++group) {
        const unsigned char* samples = frames + group * kLanes * Decoder::bytes;
        Ints highest = load<Ints>(reinterpret_cast<const unsigned char*>(&acc.highest[group * kLanes]));
        Ints lowest = load<Ints>(reinterpret_cast<const unsigned char*>(&acc.lowest[group * kLanes]));
        Doubles sums = loadLanes(acc.sumSquares, group);
        for (std::size_t f = 0; f < frameCount; ++f) {
            const Ints raw = Decoder::raw(samples + f * blockAlign);
            highest = highest > raw ? highest : raw;
            lowest = lowest < raw ? lowest : raw;
            const Doubles v = Decoder::unscaled(raw);
            sums += v * v;
        }
        std::memcpy(&acc.highest[group * kLanes], &highest, sizeof highest);
        std::memcpy(&acc.lowest[group * kLanes], &lowest, sizeof lowest);
        storeLanes(acc.sumSquares, group, sums);
        for (std::size_t k = 0; k < kLanes; ++k)
            acc.peak[group * kLanes + k] = static_cast<float>(magnitudeOf(highest[k], lowest[k])) * Decoder::scale;
    }
}

// The comparison is strict, so a NaN sample never becomes the peak.
QUILLON_INLINE void accumulateFloats(const unsigned char* frames, std::size_t frameCount,
                                                            std::size_t blockAlign, Accumulators& acc) {
    for (std::size_t group = 0; group < acc.groups; ++group) {
        const unsigned char* samples = frames + group * kLanes * Float32::bytes;
        Doubles peak = loadLanes(acc.peak, group), sums = loadLanes(acc.sumSquares, group);
        for (std::size_t f = 0; f < frameCount; ++f) {
            const Doubles x = Float32::value(samples + f * blockAlign);
            const Doubles magnitude = x < 0.0 ? -x : x;
            peak = magnitude > peak ? magnitude : peak;
            sums += x * x;
        }
        storeLanes(acc.peak, group, peak);
        storeLanes(acc.sumSquares, group, sums);
    }
}

QUILLON_VECTOR_CLONES void accumulate16(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                                        Accumulators& acc) {
    accumulateIntegers<Pcm16>(frames, frameCount, blockAlign, acc);
}
QUILLON_VECTOR_CLONES void accumulate24(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                                        Accumulators& acc) {
    accumulateIntegers<Pcm24>(frames, frameCount, blockAlign, acc);
}
QUILLON_VECTOR_CLONES void accumulate32(const unsigned char* frames, std::size_t frameCount, std::size_t blockAlign,
                                        Accumulators& acc) {
    accumulateIntegers<Pcm32>(frames, frameCount, blockAlign, acc);
}
QUILLON_VECTOR_CLONES void accumulateFloat(const unsigned char* frames, std::size_t frameCount,
                                           std::size_t blockAlign, Accumulators& acc) {
    accumulateFloats(frames, frameCount, blockAlign, acc);
}

constexpr double squareOf(float scale) { return static_cast<double>(scale) * scale; }

bool everyPeakReached(const ChannelMeter& meter, std::size_t channels, double threshold) {
    for (std::size_t k = 0; k < channels; ++k)
        if (!(meter.peak(k) >= threshold)) return false;
    return true;
}

}  // namespace

ChannelMeter::Decoding ChannelMeter::decodingFor(const SampleLayout& layout) {
    if (layout.format == 3) return {accumulateFloat, 1.0};
    switch (layout.bitsPerSample) {
        case 16: return {accumulate16, squareOf(Pcm16::scale)};
        case 24: return {accumulate24, squareOf(Pcm24::scale)};
        default: return {accumulate32, squareOf(Pcm32::scale)};
    }
}

ChannelMeter::ChannelMeter(const SampleLayout& layout)
    : channels_(layout.channels),
      blockAlign_(layout.blockAlign),
      decoding_(decodingFor(layout)),
      acc_(layout.channels) {}

void ChannelMeter::add(const unsigned char* frames, std::size_t count) {
    decoding_.accumulate(frames, count, blockAlign_, acc_);
    frames_ += count;
}

ChannelLevels ChannelMeter::levels() const {
    ChannelLevels levels{std::vector<double>(channels_, 0.0), std::vector<double>(channels_, 0.0), frames_};
    for (std::size_t k = 0; k < channels_; ++k) {
        levels.peak[k] = peak(k);
        if (frames_ > 0)
            levels.rms[k] = std::sqrt(acc_.sumSquares[k] * decoding_.squareScale / static_cast<double>(frames_));
    }
    return levels;
}

ChannelLevels scanSamples(std::istream& in, const SampleLayout& layout, double threshold, bool wholeTake) {
    const std::size_t blockAlign = layout.blockAlign;
    ChannelMeter meter(layout);

    const std::uint64_t total = blockAlign == 0 ? 0 : layout.dataSize / blockAlign;
    FrameReader reader(in, layout.dataOffset, total, blockAlign, framesPerBlock(kMaxReadBytes, blockAlign, kBlockFrames),
                       kBlockFrames, kReadPadding);
    // Chunks end at every block's end, where the early stop is decided. A
    // file that is read past its first block is most likely read whole.
    if (wholeTake) reader.readAhead();
    for (FrameReader::Chunk chunk = reader.next(); chunk.frames > 0; chunk = reader.next()) {
        meter.add(chunk.bytes, chunk.frames);
        if (reader.framesDone() % kBlockFrames != 0) continue;
        if (!wholeTake && everyPeakReached(meter, layout.channels, threshold)) break;
        reader.readAhead();
    }
    return meter.levels();
}

std::vector<std::vector<double>> slicePeaks(std::istream& in, const SampleLayout& layout, std::uint32_t slices,
                                            std::stop_token stop) {
    __extension__ typedef unsigned __int128 Uint128;
    const std::size_t channels = layout.channels;
    const std::size_t blockAlign = layout.blockAlign;
    const std::uint64_t total = blockAlign == 0 ? 0 : layout.dataSize / blockAlign;
    const auto sliceEnd = [&](std::uint64_t slice) {
        return static_cast<std::uint64_t>(Uint128{slice + 1} * total / slices);
    };
    std::vector<std::vector<double>> peaks(channels, std::vector<double>(slices, 0.0));
    ChannelMeter meter(layout);
    std::uint64_t done = 0;
    std::uint32_t slice = 0;
    const auto closeFinishedSlices = [&] {
        for (; slice < slices && sliceEnd(slice) <= done; ++slice) {
            for (std::size_t k = 0; k < channels; ++k) peaks[k][slice] = meter.peak(k);
            meter = ChannelMeter(layout);
        }
    };

    FrameReader reader(in, layout.dataOffset, total, blockAlign, framesPerBlock(kMaxReadBytes, blockAlign, kBlockFrames),
                       kBlockFrames, kReadPadding);
    reader.readAhead();
    for (FrameReader::Chunk chunk = reader.next(); chunk.frames > 0; chunk = reader.next()) {
        if (stop.stop_requested()) return {};
        // A chunk is measured slice by slice.
        for (std::size_t at = 0; at < chunk.frames;) {
            const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.frames - at, sliceEnd(slice) - done));
            meter.add(chunk.bytes + at * blockAlign, frames);
            at += frames;
            done += frames;
            closeFinishedSlices();
        }
    }
    return peaks;
}

}  // namespace quillon::detail
