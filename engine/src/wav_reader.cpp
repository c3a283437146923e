#include "wav_reader.h"

#include <algorithm>
#include <utility>

#include "messages.h"
#include "recorder_metadata.h"
#include "riff.h"

namespace quillon::detail {
namespace {

bool fail(WavFile& wav, const char* text) {
    wav.error = text;
    return false;
}

bool checkDecodable(WavFile& wav) {
    const FormatChunk& fmt = wav.fmt;
    if (fmt.channels == 0 || fmt.bitsPerSample == 0 || fmt.blockAlign == 0) return fail(wav, msg::invalidFormat);
    if (fmt.formatCode != 1 && fmt.formatCode != 3) return fail(wav, msg::unsupportedFormat);
    const bool pcmDepth = fmt.bitsPerSample == 16 || fmt.bitsPerSample == 24 || fmt.bitsPerSample == 32;
    // Float samples are decoded as four bytes each, so only 32-bit float is sound.
    if (!pcmDepth || (fmt.formatCode == 3 && fmt.bitsPerSample != 32)) return fail(wav, msg::unsupportedBitDepth);
    // Frames hold the channels' samples back to back: a smaller frame would
    // be read past, and a wider one (24-bit samples in 4-byte containers
    // under a plain header) would be read from the wrong bytes.
    if (fmt.blockAlign != static_cast<std::uint32_t>(fmt.channels) * (fmt.bitsPerSample / 8u))
        return fail(wav, msg::invalidFormat);
    return true;
}

}  // namespace

bool hasAdmChannels(const WavFile& wav) {
    return std::ranges::any_of(wav.chunks, [](const ChunkEntry& entry) { return entry.header.id == kChna; });
}

bool openWav(const std::filesystem::path& path, WavFile& wav) {
    wav.stream.open(path, std::ios::binary);
    if (!wav.stream.is_open()) return fail(wav, msg::couldNotOpenFile);
    std::optional<ChunkWalker> walker = ChunkWalker::open(wav.stream);
    if (!walker) return fail(wav, msg::notRiffWave);

    bool haveFormat = false;
    bool haveData = false;
    bool haveIxmlDocument = false;
    wav.fileSize = walker->fileSize();
    std::string payload;
    while (const auto chunk = walker->next()) {
        wav.chunks.push_back({*chunk, haveData});
        const std::uint64_t available = wav.bytesFrom(chunk->payloadOffset);
        if (chunk->id == kBext) {
            // Only the fields up to TimeReference are needed.
            readPayload(wav.stream, std::min<std::uint64_t>(chunk->size, BextChunk::kMinSizeWithTimeReference), available,
                        payload);
            if (const auto reference = BextChunk::timeReference(payload, chunk->size)) {
                wav.timeReference = *reference;
                wav.hasTimeReference = true;
            }
        } else if (chunk->id == kData) {
            wav.dataOffset = chunk->payloadOffset;
            wav.dataSize = chunk->size;
            haveData = true;
        } else if (chunk->id == kFmt) {
            if (chunk->size < FormatChunk::kMinSize || available < chunk->size) return fail(wav, msg::invalidFmtChunk);
            readPayload(wav.stream, std::min<std::uint64_t>(chunk->size, FormatChunk::kExtensibleSize), available, payload);
            wav.fmt = FormatChunk::parse(payload, chunk->size);
            haveFormat = true;
        } else if (isXmlChunk(chunk->id)) {
            // The last iXML document holds the metadata; another XML document
            // (EBU/ADM in axml) only when the file has no iXML document.
            readPayload(wav.stream, chunk->size, available, payload);
            const bool ixmlDocument = isIxmlDocument(payload);
            if (ixmlDocument || !haveIxmlDocument) {
                wav.ixml = std::move(payload);
                haveIxmlDocument = ixmlDocument;
            }
        }
    }
    if (!haveFormat || !haveData) return fail(wav, msg::missingFmtOrData);
    return checkDecodable(wav);
}

}  // namespace quillon::detail
