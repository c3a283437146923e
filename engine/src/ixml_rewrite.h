// The metadata chunks that the writer carries from a source file to its
// thinned copy, and the rewrite of those that describe channels: the iXML
// track list and the per-channel "ond" chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "riff.h"

namespace quillon::detail {

// Where a payload lies in the source file.
struct SourceSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// One chunk carried over, payload without the pad byte: held in `bytes`
// when the writer may change it, otherwise copied from `source` as it is
// written.
struct MetaChunk {
    FourCC id;
    std::string bytes;
    std::optional<SourceSpan> source;

    std::uint64_t size() const { return source ? source->size : bytes.size(); }
};

// The TRACK_LIST element naming `names` as channels 1..N, in that order.
// Names are inserted byte for byte.
std::string buildTrackListInner(const std::vector<std::string>& names);

// A whole iXML document whose BWFXML root holds only that track list.
std::string buildTrackListIxml(const std::vector<std::string>& names);

// Gives every iXML document among the XML chunks of `chunks` (and every XML
// chunk of reserved space) a track list of the kept tracks and the
// identifier "iXML"; other XML documents pass unchanged. Renumbers
// "ond1".."ond9" chunks by `channelMap` (source channel -> output position,
// -1 when dropped) and drops those of dropped channels. Other chunks pass
// unchanged and in order.
void rewriteIxmlChunks(std::vector<MetaChunk>& chunks, const std::vector<std::string>& keptNames,
                       const std::vector<std::int32_t>& channelMap);

}  // namespace quillon::detail
