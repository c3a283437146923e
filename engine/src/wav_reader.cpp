#include "wav_reader.h"

#include <algorithm>

#include "messages.h"
#include "riff.h"

namespace quillon::detail {
namespace {

constexpr std::uint32_t kMinFmtSize = 16;
constexpr std::uint32_t kExtensibleFmtSize = 40;
constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::uint32_t kBextTimeReferenceOffset = 338;
constexpr std::uint32_t kBextMinSize = 346;

bool fail(WavFile& wav, const char* text) {
    wav.error = text;
    return false;
}

// Takes TimeReference from a bext payload; bytes past the end of the file
// count as zero, as if the payload had been read into a zeroed buffer.
void takeTimeReference(WavFile& wav, std::uint32_t declaredSize, std::string payload) {
    if (declaredSize < kBextMinSize) return;
    payload.resize(std::max<std::size_t>(payload.size(), kBextMinSize), '\0');
    wav.timeReference = readU64(reinterpret_cast<const unsigned char*>(payload.data()) + kBextTimeReferenceOffset);
    wav.hasTimeReference = true;
}

void takeFormat(WavFile& wav, const std::string& payload, std::uint32_t declaredSize) {
    const auto* p = reinterpret_cast<const unsigned char*>(payload.data());
    wav.formatTag = readU16(p);
    wav.channels = readU16(p + 2);
    wav.sampleRate = readU32(p + 4);
    wav.byteRate = readU32(p + 8);
    wav.blockAlign = readU16(p + 12);
    wav.bitsPerSample = readU16(p + 14);
    wav.format = effectiveFormatCode(p, declaredSize);
}

bool checkDecodable(WavFile& wav) {
    if (wav.channels == 0 || wav.bitsPerSample == 0 || wav.blockAlign == 0) return fail(wav, msg::invalidFormat);
    if (wav.format != 1 && wav.format != 3) return fail(wav, msg::unsupportedFormat);
    const bool pcmDepth = wav.bitsPerSample == 16 || wav.bitsPerSample == 24 || wav.bitsPerSample == 32;
    // Float samples are decoded as four bytes each, so only 32-bit float is sound.
    if (!pcmDepth || (wav.format == 3 && wav.bitsPerSample != 32)) return fail(wav, msg::unsupportedBitDepth);
    // A frame must hold every channel's sample, or decoding would read past it.
    if (wav.blockAlign < static_cast<std::uint32_t>(wav.channels) * (wav.bitsPerSample / 8u))
        return fail(wav, msg::invalidFormat);
    return true;
}

}  // namespace

std::uint16_t effectiveFormatCode(const unsigned char* fmt, std::size_t size) {
    const std::uint16_t tag = readU16(fmt);
    if (tag == kExtensibleTag && size >= kExtensibleFmtSize) return readU16(fmt + 24);
    return tag;
}

bool openWav(const std::filesystem::path& path, WavFile& wav) {
    wav.stream.open(path, std::ios::binary);
    if (!wav.stream.is_open()) return fail(wav, msg::couldNotOpenFile);
    if (!readRiffWaveHeader(wav.stream)) return fail(wav, msg::notRiffWave);

    bool haveFormat = false;
    bool haveData = false;
    ChunkWalker walker(wav.stream);
    std::string payload;
    while (const auto chunk = walker.next()) {
        const std::uint64_t available = walker.remainingFrom(chunk->payloadOffset);
        if (chunk->id == kBext) {
            readPayload(wav.stream, chunk->size, available, payload);
            takeTimeReference(wav, chunk->size, std::move(payload));
        } else if (chunk->id == kData) {
            wav.dataOffset = chunk->payloadOffset;
            wav.dataSize = chunk->size;
            haveData = true;
        } else if (chunk->id == kFmt) {
            if (chunk->size < kMinFmtSize || available < chunk->size) return fail(wav, msg::invalidFmtChunk);
            readPayload(wav.stream, std::min(chunk->size, kExtensibleFmtSize), available, payload);
            takeFormat(wav, payload, chunk->size);
            haveFormat = true;
        } else if (isXmlChunk(chunk->id)) {
            readPayload(wav.stream, chunk->size, available, wav.ixml);
        }
    }
    if (!haveFormat || !haveData) return fail(wav, msg::missingFmtOrData);
    return checkDecodable(wav);
}

}  // namespace quillon::detail
