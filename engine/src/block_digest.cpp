#include "block_digest.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace quillon::detail {
namespace {

constexpr std::uint64_t kMinBlockBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kMostBlocks = 4096;

// Odd multipliers with well-spread bits: the golden ratio's and two of a
// well-tried 64-bit finaliser's.
constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15u;
constexpr std::uint64_t kMixA = 0xBF58476D1CE4E5B9u;
constexpr std::uint64_t kMixB = 0x94D049BB133111EBu;

// Every step is invertible in the lane and in the word, so two blocks that
// differ in one word always leave that lane different; four lanes keep the
// multipliers busy side by side.
inline std::uint64_t round(std::uint64_t lane, std::uint64_t word) {
    return std::rotl(lane + word * kGolden, 31) * kMixA;
}

// Invertible too: the final chain cannot hide a lane that differs.
inline std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= kMixA;
    x ^= x >> 27;
    x *= kMixB;
    return x ^ (x >> 31);
}

inline std::uint64_t wordAt(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

}  // namespace

BlockDigests::BlockDigests(std::uint64_t expectedBytes)
    : blockBytes_(std::max(kMinBlockBytes, std::bit_ceil(expectedBytes / kMostBlocks + 1))) {}

BlockDigests::Block BlockDigests::startBlock() { return {{kGolden, kMixA, kMixB, 0}, 0}; }

void BlockDigests::mixStripes(Block& block, const unsigned char* bytes, std::size_t stripes) {
    auto [a, b, c, d] = block.lanes;
    for (const unsigned char* end = bytes + stripes * kStripe; bytes != end; bytes += kStripe) {
        a = round(a, wordAt(bytes));
        b = round(b, wordAt(bytes + 8));
        c = round(c, wordAt(bytes + 16));
        d = round(d, wordAt(bytes + 24));
    }
    block.lanes = {a, b, c, d};
    block.bytes += stripes * kStripe;
}

// A tail shorter than a stripe is mixed padded with zeros; the length tells
// it from a block that holds those zeros.
std::uint64_t BlockDigests::digestOf(Block block, const unsigned char* tail, std::size_t tailBytes) {
    std::uint64_t length = block.bytes + tailBytes;
    if (tailBytes > 0) {
        unsigned char stripe[kStripe] = {};
        std::memcpy(stripe, tail, tailBytes);
        mixStripes(block, stripe, 1);
    }
    std::uint64_t digest = mix(length);
    for (const std::uint64_t lane : block.lanes) digest = mix(digest ^ lane);
    return digest;
}

// Whole stripes, a block's digest taken at each block's end (a block is a
// whole number of stripes).
void BlockDigests::addStripes(const unsigned char* bytes, std::size_t stripes) {
    while (stripes > 0) {
        const std::uint64_t room = (blockBytes_ - block_.bytes) / kStripe;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(stripes, room));
        mixStripes(block_, bytes, n);
        bytes += n * kStripe;
        stripes -= n;
        if (block_.bytes == blockBytes_) finished_.push_back(digestOf(std::exchange(block_, startBlock()), nullptr, 0));
    }
}

void BlockDigests::add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        if (pendingBytes_ > 0 || size < kStripe) {
            const std::size_t n = std::min(kStripe - pendingBytes_, size);
            std::memcpy(pending_.data() + pendingBytes_, bytes, n);
            pendingBytes_ += n, bytes += n, size -= n;
            if (pendingBytes_ == kStripe) addStripes(pending_.data(), 1), pendingBytes_ = 0;
            continue;
        }
        const std::size_t stripes = size / kStripe;
        addStripes(bytes, stripes);
        bytes += stripes * kStripe, size -= stripes * kStripe;
    }
}

std::vector<std::uint64_t> BlockDigests::digests() const {
    std::vector<std::uint64_t> all = finished_;
    if (block_.bytes > 0 || pendingBytes_ > 0) all.push_back(digestOf(block_, pending_.data(), pendingBytes_));
    return all;
}

}  // namespace quillon::detail
