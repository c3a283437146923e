#include "frame_reader.h"

#include <algorithm>

namespace quillon::detail {

FrameReader::FrameReader(std::istream& in, std::uint64_t offset, std::uint64_t totalFrames, std::size_t blockAlign,
                         std::size_t chunkFrames, std::uint64_t blockFrames, std::size_t padding)
    : _in(in),
      _total(totalFrames),
      _blockAlign(blockAlign),
      _chunkFrames(chunkFrames),
      _blockFrames(blockFrames),
      _slotBytes(chunkFrames * blockAlign + padding),
      _ring(std::make_unique<unsigned char[]>(kRing * _slotBytes)) {
    _in.clear();
    _in.seekg(static_cast<std::streamoff>(offset));
}

FrameReader::~FrameReader() {
    if (!_ahead) return;
    _reader.request_stop();
    _free.release();  // a reader waiting for a slot sees the stop
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

// The reader thread: chunk after chunk into the free slots, ending with an
// empty chunk.
void FrameReader::readAll(std::stop_token stop, std::uint64_t from) {
    for (std::uint64_t chunk = _handedOut, frame = from;; ++chunk) {
        _free.acquire();
        if (stop.stop_requested()) return;
        const std::size_t wanted = frame < _total ? chunkAt(frame) : 0;
        const std::size_t got = readChunk(chunk % kRing, frame);
        frame += got;
        _filled.release();
        if (got == 0 || got < wanted) {
            if (got > 0) {  // the end: one empty chunk after this one
                _free.acquire();
                if (stop.stop_requested()) return;
                _frames[(chunk + 1) % kRing] = 0;
                _filled.release();
            }
            return;
        }
    }
}

FrameReader::Chunk FrameReader::next() {
    const std::size_t slot = _handedOut % kRing;
    if (_ahead) {
        if (_handedOut > 0) _free.release();  // the chunk before is measured
        _filled.acquire();
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
    _reader = std::jthread([this](std::stop_token stop) { readAll(stop, _done); });
}

}  // namespace quillon::detail
