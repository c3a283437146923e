// The frames of a data chunk, read in chunks that never cross the end of a
// measuring block. Until told otherwise it reads a chunk when asked; once
// the caller knows it will read on (a file read whole), a second thread
// reads ahead while the caller measures, so reading and measuring overlap.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <thread>

namespace quillon::detail {

class FrameReader {
public:
    struct Chunk {
        const unsigned char* bytes = nullptr;
        std::size_t frames = 0;  // 0 at the end of the data or of the file
    };

    // `totalFrames` frames of `blockAlign` bytes from `offset` on; chunks hold
    // at most `chunkFrames` frames and end at every multiple of `blockFrames`.
    // Each chunk is followed by `padding` bytes that a decoder may load.
    FrameReader(std::istream& in, std::uint64_t offset, std::uint64_t totalFrames, std::size_t blockAlign,
                std::size_t chunkFrames, std::uint64_t blockFrames, std::size_t padding);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // The next chunk; the one before it may be overwritten from now on.
    Chunk next();
    // From now on the chunks are read ahead on a second thread.
    void readAhead();
    // Whole frames handed out so far.
    std::uint64_t framesDone() const { return _done; }

private:
    static constexpr std::size_t kRing = 3;

    std::size_t chunkAt(std::uint64_t frame) const;
    std::size_t readChunk(std::size_t slot, std::uint64_t frame);
    void readAll(std::stop_token stop, std::uint64_t chunk, std::uint64_t frame);

    std::istream& _in;
    std::uint64_t _total;
    std::size_t _blockAlign;
    std::size_t _chunkFrames;
    std::uint64_t _blockFrames;
    std::size_t _slotBytes;
    std::unique_ptr<unsigned char[]> _ring;
    std::size_t _frames[kRing] = {};  // of the chunk in each slot
    std::uint64_t _done = 0;
    std::uint64_t _handedOut = 0;     // chunks
    bool _ahead = false;
    // Read ahead: the chunks filled so far, and the chunk the caller measures
    // (every one before it is done with). The reader keeps fewer than kRing
    // chunks ahead of the caller's, so it never fills the slot being measured.
    std::atomic<std::uint64_t> _filled{0};
    std::atomic<std::uint64_t> _current{0};
    std::jthread _reader;  // last: stopped and joined first
};

}  // namespace quillon::detail
