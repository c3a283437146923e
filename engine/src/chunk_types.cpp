#include "chunk_types.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

namespace quillon::detail {
namespace {

constexpr std::uint16_t kExtensionSize = 22;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its first byte, which
// is the format code.
constexpr std::array<unsigned char, 15> kSubFormatGuidTail = {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const unsigned char* bytesOf(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

constexpr std::size_t kDescriptionBytes = 256;

struct TrackLine {
    std::size_t channel = 0;     // 1-based source channel; 0 when the number names none
    std::size_t digitsEnd = 0;  // offset of the '=' after the number
};

// A line "xTRK<digits>=..." with x one lower-case ASCII letter.
std::optional<TrackLine> trackLineOf(std::string_view line) {
    if (line.size() < 5 || line[0] < 'a' || line[0] > 'z' || line.substr(1, 3) != "TRK") return std::nullopt;
    const char* digits = line.data() + 4;
    const char* end = line.data() + line.size();
    std::size_t channel = 0;
    const auto [stop, error] = std::from_chars(digits, end, channel);
    if (stop == digits || stop == end || *stop != '=') return std::nullopt;
    return TrackLine{error == std::errc{} ? channel : 0, static_cast<std::size_t>(stop - line.data())};
}

}  // namespace

FormatChunk FormatChunk::parse(std::string_view bytes, std::uint64_t declaredSize) {
    const unsigned char* p = bytesOf(bytes);
    FormatChunk chunk;
    chunk.formatTag = readU16(p);
    chunk.channels = readU16(p + 2);
    chunk.sampleRate = readU32(p + 4);
    chunk.blockAlign = readU16(p + 12);
    chunk.bitsPerSample = readU16(p + 14);
    const bool extensible = chunk.formatTag == kExtensibleTag && declaredSize >= kExtensibleSize &&
                            bytes.size() >= kExtensibleSize;
    chunk.formatCode = extensible ? readU16(p + 24) : chunk.formatTag;
    return chunk;
}

std::string FormatChunk::payloadFor(std::uint16_t formatCode, std::uint16_t channels, std::uint32_t sampleRate,
                                    std::uint16_t bitsPerSample) {
    const bool extensible = channels > 2;
    const auto blockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8u));
    std::string payload(extensible ? kExtensibleSize : kMinSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(payload.data());
    writeU16(p, extensible ? kExtensibleTag : formatCode);
    writeU16(p + 2, channels);
    writeU32(p + 4, sampleRate);
    writeU32(p + 8, blockAlign * sampleRate);
    writeU16(p + 12, blockAlign);
    writeU16(p + 14, bitsPerSample);
    if (extensible) {
        writeU16(p + 16, kExtensionSize);
        writeU16(p + 18, bitsPerSample);
        writeU32(p + 20, 0);
        p[24] = static_cast<unsigned char>(formatCode & 0xFF);
        std::memcpy(p + 25, kSubFormatGuidTail.data(), kSubFormatGuidTail.size());
    }
    return payload;
}

std::optional<std::uint64_t> BextChunk::timeReference(std::string_view bytes, std::uint64_t declaredSize) {
    if (declaredSize < kMinSizeWithTimeReference) return std::nullopt;
    unsigned char field[8] = {};
    if (bytes.size() > kTimeReferenceOffset)
        std::memcpy(field, bytes.data() + kTimeReferenceOffset,
                    std::min<std::size_t>(sizeof field, bytes.size() - kTimeReferenceOffset));
    return readU64(field);
}

void BextChunk::renumberTrackLines(std::string& payload, const std::vector<std::int32_t>& channelMap) {
    const std::size_t descriptionSize = std::min(payload.size(), kDescriptionBytes);
    std::string_view text(payload.data(), descriptionSize);
    text = text.substr(0, text.find('\0'));
    std::string rewritten;
    bool anyTrackLine = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lineFeed = text.find('\n', pos);
        const std::size_t end = lineFeed == std::string_view::npos ? text.size() : lineFeed + 1;
        const std::string_view line = text.substr(pos, end - pos);
        pos = end;
        const std::optional<TrackLine> track = trackLineOf(line);
        if (!track) {
            rewritten += line;
            continue;
        }
        anyTrackLine = true;
        const bool kept = track->channel >= 1 && track->channel <= channelMap.size() &&
                          channelMap[track->channel - 1] >= 0;
        if (!kept) continue;
        rewritten += line.substr(0, 4);
        rewritten += std::to_string(channelMap[track->channel - 1] + 1);
        rewritten += line.substr(track->digitsEnd);
    }
    if (!anyTrackLine) return;
    rewritten.resize(descriptionSize, '\0');
    payload.replace(0, descriptionSize, rewritten);
}

void FactChunk::setSampleCount(std::string& payload, std::uint32_t frames) {
    if (payload.size() >= 4) writeU32(reinterpret_cast<unsigned char*>(payload.data()), frames);
}

void PeakChunk::keepChannels(std::string& payload, const std::vector<std::size_t>& keptChannels,
                             std::size_t sourceChannels) {
    if (payload.size() != kHeaderSize + kEntrySize * sourceChannels) return;
    std::string kept = payload.substr(0, kHeaderSize);
    for (const std::size_t channel : keptChannels) kept += payload.substr(kHeaderSize + kEntrySize * channel, kEntrySize);
    payload = std::move(kept);
}

std::string Ds64Chunk::payloadFor(std::uint64_t riffSize, std::uint64_t dataSize, std::uint64_t sampleCount,
                                  const std::vector<Entry>& table) {
    std::string payload(static_cast<std::size_t>(payloadSize(table.size())), '\0');
    auto* p = reinterpret_cast<unsigned char*>(payload.data());
    writeU64(p, riffSize);
    writeU64(p + 8, dataSize);
    writeU64(p + 16, sampleCount);
    writeU32(p + 24, static_cast<std::uint32_t>(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
        unsigned char* entry = p + kDs64MinSize + 12 * i;
        std::memcpy(entry, table[i].id.bytes.data(), 4);
        writeU64(entry + 4, table[i].size);
    }
    return payload;
}

}  // namespace quillon::detail
