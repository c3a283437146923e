// A 64-bit digest of every block of a byte stream, taken as the bytes pass,
// so that a written file can be compared with what the medium returns
// later without keeping its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::detail {

class BlockDigests {
public:
    // Blocks of at least a mebibyte, larger for a stream expected to be
    // long, so a stream of about `expectedBytes` has at most a few thousand.
    explicit BlockDigests(std::uint64_t expectedBytes);

    // The next bytes of the stream, split anywhere.
    void add(const void* bytes, std::size_t size);
    // The digests of every block so far, the last one possibly partial.
    std::vector<std::uint64_t> digests() const;

private:
    static constexpr std::size_t kStripe = 32;  // four lanes of eight bytes
    struct Block {
        std::array<std::uint64_t, 4> lanes;
        std::uint64_t bytes = 0;
    };

    static Block startBlock();
    static void mixStripes(Block& block, const unsigned char* bytes, std::size_t stripes);
    static std::uint64_t digestOf(Block block, const unsigned char* tail, std::size_t tailBytes);
    void addStripes(const unsigned char* bytes, std::size_t stripes);

    std::uint64_t blockBytes_;
    Block block_ = startBlock();
    std::array<unsigned char, kStripe> pending_{};  // a stripe not yet whole
    std::size_t pendingBytes_ = 0;
    std::vector<std::uint64_t> finished_;
};

}  // namespace quillon::detail
