#include "ixml_rewrite.h"

#include <string_view>
#include <utility>

#include "recorder_metadata.h"
#include "tag_matching.h"

namespace quillon::detail {
namespace {

constexpr std::string_view kTrackListTag = "TRACK_LIST";
constexpr std::string_view kRootClose = "</BWFXML>";
constexpr std::string_view kTrackClose = "</TRACK>";

std::string trackCountLine(std::size_t count) {
    return "<TRACK_LIST>\n  <TRACK_COUNT>" + std::to_string(count) + "</TRACK_COUNT>\n";
}

std::string interleaveIndex(std::size_t position) {
    return "<INTERLEAVE_INDEX>" + std::to_string(position) + "</INTERLEAVE_INDEX>";
}

// A fresh element for the track at 1-based output `position`.
std::string generatedTrack(std::size_t position, const std::string& name) {
    return "  <TRACK>\n   <CHANNEL_INDEX>" + std::to_string(position) + "</CHANNEL_INDEX>\n   " +
           interleaveIndex(position) + "\n   <NAME>" + name + "</NAME>\n   <FUNCTION>SINGLE</FUNCTION>\n  </TRACK>\n";
}

// A kept track's own element, untouched but for its new position in the file.
std::string renumberedTrack(std::string_view element, std::size_t position) {
    if (auto replaced = replaceElements(element, "INTERLEAVE_INDEX", interleaveIndex(position)))
        return "  " + std::move(*replaced) + "\n";
    std::string track(element);
    track.insert(track.size() - kTrackClose.size(), interleaveIndex(position) + "\n  ");
    return "  " + track + "\n";
}

// The kept tracks in output order, each with the source's last element that
// describes its channel (so the recorder's track numbers and functions stay),
// or a fresh one where the source has none.
std::string keptTrackList(std::string_view text, const std::vector<std::string>& keptNames,
                          const std::vector<std::int32_t>& channelMap) {
    std::vector<std::optional<std::string_view>> elementOf(channelMap.size());
    forEachTrackElement(text, channelMap.size(), [&](std::string_view element, std::size_t channel) {
        if (channel < elementOf.size()) elementOf[channel] = element;
    });
    std::vector<std::size_t> sourceOf(keptNames.size());
    for (std::size_t channel = 0; channel < channelMap.size(); ++channel)
        if (channelMap[channel] >= 0) sourceOf[static_cast<std::size_t>(channelMap[channel])] = channel;
    std::string list = trackCountLine(keptNames.size());
    for (std::size_t i = 0; i < keptNames.size(); ++i) {
        const std::optional<std::string_view> element = elementOf[sourceOf[i]];
        list += element ? renumberedTrack(*element, i + 1) : generatedTrack(i + 1, keptNames[i]);
    }
    return list + "</TRACK_LIST>";
}

// The text with the old track lists replaced by the kept tracks' list;
// without one, a fresh list goes before the root's closing tag, or after the
// whole text.
std::string withTrackList(std::string_view text, const std::vector<std::string>& keptNames,
                          const std::vector<std::int32_t>& channelMap) {
    if (searchElement(text, kTrackListTag))
        return *replaceElements(text, kTrackListTag, keptTrackList(text, keptNames, channelMap));
    const std::string inner = buildTrackListInner(keptNames);
    if (auto inserted = replaceLiteral(text, kRootClose, inner + "\n" + std::string(kRootClose)))
        return std::move(*inserted);
    return std::string(text) + "\n" + inner + "\n";
}

// Reserved space (trailing zeros) is given back as zeros after the new text,
// so the chunk never shrinks below its old payload size; a chunk of nothing
// but reserved space gets a whole new document instead, unpadded. Another
// kind of XML document is carried as it is.
MetaChunk rewriteXmlChunk(MetaChunk chunk, const std::vector<std::string>& keptNames,
                          const std::vector<std::int32_t>& channelMap) {
    std::string_view text = chunk.bytes;
    text = text.substr(0, text.find_last_not_of('\0') + 1);
    if (text.empty()) return {kIXML, buildTrackListIxml(keptNames), std::nullopt};
    if (!isIxmlDocument(text)) return chunk;
    std::string rewritten = withTrackList(text, keptNames, channelMap);
    if (rewritten.size() < chunk.bytes.size()) rewritten.resize(chunk.bytes.size(), '\0');
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
    std::string out = trackCountLine(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) out += generatedTrack(i + 1, names[i]);
    return out + "</TRACK_LIST>";
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
            rewritten.push_back(rewriteXmlChunk(std::move(chunk), keptNames, channelMap));
        else if (isChannelChunk(chunk.id))
            appendChannelChunk(rewritten, std::move(chunk), channelMap);
        else
            rewritten.push_back(std::move(chunk));
    }
    chunks = std::move(rewritten);
}

}  // namespace quillon::detail
