#include "ixml_rewrite.h"

#include <string_view>
#include <utility>

#include "tag_matching.h"

namespace quillon::detail {
namespace {

constexpr std::string_view kTrackListTag = "TRACK_LIST";
constexpr std::string_view kRootClose = "</BWFXML>";

// The text with the old track lists replaced by `inner`; without one, the
// list goes before the root's closing tag, or after the whole text.
std::string withTrackList(const std::string& text, const std::string& inner) {
    if (auto replaced = replaceElements(text, kTrackListTag, inner)) return std::move(*replaced);
    if (auto inserted = replaceLiteral(text, kRootClose, inner + "\n" + std::string(kRootClose)))
        return std::move(*inserted);
    return text + "\n" + inner + "\n";
}

// Reserved space (trailing zeros) is given back as zeros after the new text,
// so the chunk never shrinks below its old payload size; a chunk of nothing
// but reserved space gets a whole new document instead, unpadded.
MetaChunk rewriteXmlChunk(MetaChunk chunk, const std::vector<std::string>& keptNames) {
    std::string text = std::move(chunk.bytes);
    const std::size_t oldSize = text.size();
    text.erase(text.find_last_not_of('\0') + 1);
    if (text.empty()) return {kIXML, buildTrackListIxml(keptNames), std::nullopt};
    std::string rewritten = withTrackList(text, buildTrackListInner(keptNames));
    if (rewritten.size() < oldSize) rewritten.resize(oldSize, '\0');
    return {kIXML, std::move(rewritten), std::nullopt};
}

// "ond1" to "ond9": a chunk about the source channel named by its digit.
bool isChannelChunk(const FourCC& id) {
    return id.bytes[0] == 'o' && id.bytes[1] == 'n' && id.bytes[2] == 'd' && id.bytes[3] >= '1' && id.bytes[3] <= '9';
}

void appendChannelChunk(std::vector<MetaChunk>& out, MetaChunk chunk, const std::vector<std::int32_t>& channelMap) {
    const auto sourceChannel = static_cast<std::size_t>(chunk.id.bytes[3] - '1');
    if (sourceChannel >= channelMap.size() || channelMap[sourceChannel] < 0) return;
    // The output position never exceeds the source channel, so it stays a digit 1..9.
    chunk.id.bytes[3] = static_cast<char>('1' + channelMap[sourceChannel]);
    out.push_back(std::move(chunk));
}

}  // namespace

std::string buildTrackListInner(const std::vector<std::string>& names) {
    std::string out = "<TRACK_LIST>\n  <TRACK_COUNT>" + std::to_string(names.size()) + "</TRACK_COUNT>\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        out += "  <TRACK>\n   <CHANNEL_INDEX>" + number + "</CHANNEL_INDEX>\n   <INTERLEAVE_INDEX>" + number +
               "</INTERLEAVE_INDEX>\n   <NAME>";
        out += names[i];
        out += "</NAME>\n   <FUNCTION>SINGLE</FUNCTION>\n  </TRACK>\n";
    }
    out += "</TRACK_LIST>";
    return out;
}

std::string buildTrackListIxml(const std::vector<std::string>& names) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n" + buildTrackListInner(names) + "\n</BWFXML>\n";
}

void rewriteIxmlChunks(std::vector<MetaChunk>& chunks, const std::vector<std::string>& keptNames,
                       const std::vector<std::int32_t>& channelMap) {
    std::vector<MetaChunk> rewritten;
    rewritten.reserve(chunks.size());
    for (MetaChunk& chunk : chunks) {
        if (isXmlChunk(chunk.id))
            rewritten.push_back(rewriteXmlChunk(std::move(chunk), keptNames));
        else if (isChannelChunk(chunk.id))
            appendChannelChunk(rewritten, std::move(chunk), channelMap);
        else
            rewritten.push_back(std::move(chunk));
    }
    chunks = std::move(rewritten);
}

}  // namespace quillon::detail
