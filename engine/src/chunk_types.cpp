#include "chunk_types.h"

#include <array>
#include <cstring>

#include "riff.h"

namespace quillon::detail {
namespace {

constexpr std::uint16_t kExtensionSize = 22;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its first byte, which
// is the format code.
constexpr std::array<unsigned char, 15> kSubFormatGuidTail = {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const unsigned char* bytesOf(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

FormatChunk FormatChunk::parse(std::string_view bytes, std::uint32_t declaredSize) {
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

std::optional<std::uint64_t> BextChunk::timeReference(std::string_view bytes, std::uint32_t declaredSize) {
    if (declaredSize < kMinSizeWithTimeReference) return std::nullopt;
    unsigned char field[8] = {};
    if (bytes.size() > kTimeReferenceOffset)
        std::memcpy(field, bytes.data() + kTimeReferenceOffset,
                    std::min<std::size_t>(sizeof field, bytes.size() - kTimeReferenceOffset));
    return readU64(field);
}

}  // namespace quillon::detail
