// The metadata chunks that the writer carries from a source file to its
// thinned copy, and the rewrite of those that describe channels: the iXML
// track list and the per-channel "ond" chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "riff.h"

namespace quillon::detail {

// One chunk carried over, payload without the pad byte. A chunk that the
// end of the file cuts short keeps its declared size: the bytes the file
// lacks are counted in `zeroTail` and written as zeros, never held.
struct MetaChunk {
    FourCC id;
    std::string bytes;
    std::uint32_t zeroTail = 0;

    // The payload size written to the chunk header.
    std::uint64_t size() const { return bytes.size() + std::uint64_t{zeroTail}; }
};

// The TRACK_LIST element naming `names` as channels 1..N, in that order.
// Names are inserted byte for byte.
std::string buildTrackListInner(const std::vector<std::string>& names);

// A whole iXML document whose BWFXML root holds only that track list.
std::string buildTrackListIxml(const std::vector<std::string>& names);

// Gives every XML chunk of `chunks` a track list of the kept tracks and the
// identifier "iXML"; renumbers "ond1".."ond9" chunks by `channelMap` (source
// channel -> output position, -1 when dropped) and drops those of dropped
// channels. Other chunks pass unchanged and in order.
void rewriteIxmlChunks(std::vector<MetaChunk>& chunks, const std::vector<std::string>& keptNames,
                       const std::vector<std::int32_t>& channelMap);

}  // namespace quillon::detail
