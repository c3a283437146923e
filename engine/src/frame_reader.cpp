#include "frame_reader.h"

#include <algorithm>
#include <chrono>

namespace quillon::detail {
namespace {

// How long a thread waiting for the other keeps yielding before it sleeps.
// The other side is usually a few tens of microseconds from its next chunk,
// and waking a processor that went idle costs more than that on a virtual
// machine; yielding rather than spinning lets the other side run at once
// when the system has put both threads on one processor.
constexpr auto kYieldBeforeSleep = std::chrono::microseconds(200);

void waitUntilAtLeast(const std::atomic<std::uint64_t>& count, std::uint64_t wanted) {
    const auto sleepAt = std::chrono::steady_clock::now() + kYieldBeforeSleep;
    for (std::uint64_t seen = count.load(std::memory_order_acquire); seen < wanted;
         seen = count.load(std::memory_order_acquire))
        if (std::chrono::steady_clock::now() >= sleepAt)
            count.wait(seen, std::memory_order_acquire);
        else
            std::this_thread::yield();
}

// Publishes `to` to the other thread: a waiter that went to sleep is woken,
// a yielding one sees it at once.
void advance(std::atomic<std::uint64_t>& count, std::uint64_t to) {
    count.store(to, std::memory_order_release);
    count.notify_one();
}

}  // namespace

FrameReader::FrameReader(std::istream& in, std::uint64_t offset, std::uint64_t totalFrames, std::size_t blockAlign,
                         std::size_t chunkFrames, std::uint64_t blockFrames, std::size_t padding)
    : _in(in),
      _total(totalFrames),
      _blockAlign(blockAlign),
      _chunkFrames(chunkFrames),
      _blockFrames(blockFrames),
      _slotBytes(chunkFrames * blockAlign + padding),
      _ring(std::make_unique_for_overwrite<unsigned char[]>(kRing * _slotBytes)) {
    _in.clear();
    _in.seekg(static_cast<std::streamoff>(offset));
}

FrameReader::~FrameReader() {
    if (!_ahead) return;
    _reader.request_stop();
    advance(_current, UINT64_MAX);  // a reader waiting for a slot sees the stop
}

// Frames of the chunk that starts at `frame`.
std::size_t FrameReader::chunkAt(std::uint64_t frame) const {
    const std::uint64_t toBlockEnd = _blockFrames - frame % _blockFrames;
    return static_cast<std::size_t>(std::min({_total - frame, toBlockEnd, std::uint64_t{_chunkFrames}}));
}

// Reads the chunk at `frame` into `slot`; its whole frames, fewer than asked
// when the file ends early.
std::size_t FrameReader::readChunk(std::size_t slot, std::uint64_t frame) {
    const std::size_t wanted = frame < _total ? chunkAt(frame) : 0;
    _in.read(reinterpret_cast<char*>(_ring.get() + slot * _slotBytes),
             static_cast<std::streamsize>(wanted * _blockAlign));
    return _frames[slot] = static_cast<std::size_t>(_in.gcount()) / _blockAlign;
}

// The reader thread: chunk after chunk from `chunk` on, each into a slot the
// caller is done with, ending with an empty chunk.
void FrameReader::readAll(std::stop_token stop, std::uint64_t chunk, std::uint64_t frame) {
    for (;; ++chunk) {
        if (chunk >= kRing) waitUntilAtLeast(_current, chunk - kRing + 1);
        if (stop.stop_requested()) return;
        const std::size_t got = readChunk(chunk % kRing, frame);
        frame += got;
        advance(_filled, chunk + 1);
        if (got == 0) return;  // a stream that ended early reads nothing more
    }
}

FrameReader::Chunk FrameReader::next() {
    // Read when asked, every chunk goes to the first slot: a file that stops
    // early never touches the others.
    const std::size_t slot = _ahead ? _handedOut % kRing : 0;
    if (_ahead) {
        advance(_current, _handedOut);  // the chunk before is measured
        waitUntilAtLeast(_filled, _handedOut + 1);
    } else {
        readChunk(slot, _done);
    }
    ++_handedOut;
    const Chunk chunk{_ring.get() + slot * _slotBytes, _frames[slot]};
    _done += chunk.frames;
    return chunk;
}

void FrameReader::readAhead() {
    if (_ahead) return;
    _ahead = true;
    _handedOut = std::min<std::uint64_t>(_handedOut, 1);  // counted from the chunk in the first slot
    _current.store(0);
    _reader = std::jthread(
        [this, chunk = _handedOut, frame = _done](std::stop_token stop) { readAll(stop, chunk, frame); });
}

}  // namespace quillon::detail
