// The track-stripping writer: a fresh analysis decides which channels stay,
// the source's chunks are carried over with their channel descriptions
// rewritten, and the kept samples are copied byte for byte into a temporary
// file that replaces the destination only once it is complete on disk.

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "blocks.h"
#include "chunk_types.h"
#include "ixml_rewrite.h"
#include "messages.h"
#include "quillon/quillon.h"
#include "riff.h"
#include "safe_file_replacement.h"
#include "wav_reader.h"

namespace quillon {
namespace {

using detail::MetaChunk;
using detail::SafeFileReplacement;

constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFFu;
// The input buffer holds at most this many frames and bytes, so frames of a
// very wide file cost no more memory than ordinary ones; the output buffer
// is smaller still.
constexpr std::size_t kMaxBlockFrames = 48000;
constexpr std::size_t kMaxInputBlockBytes = 8u << 20;

[[noreturn]] void refuse(const std::string& message) { throw std::runtime_error(message); }

struct KeptTracks {
    std::vector<std::size_t> channels;  // source channel of each output position
    std::vector<std::string> names;
    std::vector<std::int32_t> channelMap;  // output position of each source channel, -1 when dropped
};

KeptTracks keptTracksOf(const PolyWavInfo& info) {
    if (std::string refusal = removalRefusal(info); !refusal.empty()) refuse(refusal);

    KeptTracks kept;
    kept.channelMap.assign(info.tracks.size(), -1);
    for (const TrackInfo& track : info.tracks) {
        if (track.empty) continue;
        const auto channel = static_cast<std::size_t>(track.index);
        kept.channelMap[channel] = static_cast<std::int32_t>(kept.channels.size());
        kept.channels.push_back(channel);
        kept.names.push_back(track.name);
    }
    return kept;
}

struct SampleData {
    std::uint64_t offset = 0;
    std::uint64_t frames = 0;  // whole frames that the file really holds
};

struct CarriedChunks {
    std::vector<MetaChunk> preData;
    std::vector<MetaChunk> postData;
};

// A payload is read as far as the file holds it; a read that stops short of
// that is a failing device or a file that changed, not a short file.
MetaChunk readMetaChunk(detail::WavFile& wav, const detail::ChunkHeader& header) {
    const std::uint64_t available = wav.bytesFrom(header.payloadOffset);
    MetaChunk chunk{header.id, {}, 0};
    wav.stream.clear();
    wav.stream.seekg(static_cast<std::streamoff>(header.payloadOffset));
    const std::size_t read = detail::readPayload(wav.stream, header.size, available, chunk.bytes);
    if (read < std::min<std::uint64_t>(header.size, available)) refuse(detail::msg::couldNotReadSource);
    chunk.zeroTail = static_cast<std::uint32_t>(header.size - read);
    return chunk;
}

// Every chunk of the reader's walk but `fmt ` and `data` is carried, on its
// side of the first `data` chunk.
CarriedChunks carriedChunksOf(detail::WavFile& wav) {
    CarriedChunks carried;
    for (const detail::ChunkEntry& entry : wav.chunks) {
        if (entry.header.id == detail::kFmt || entry.header.id == detail::kData) continue;
        (entry.afterData ? carried.postData : carried.preData).push_back(readMetaChunk(wav, entry.header));
    }
    return carried;
}

void ensureIxml(CarriedChunks& layout, const std::vector<std::string>& keptNames) {
    const auto isIxml = [](const MetaChunk& chunk) { return chunk.id == detail::kIXML; };
    if (std::ranges::any_of(layout.preData, isIxml) || std::ranges::any_of(layout.postData, isIxml)) return;
    layout.preData.push_back({detail::kIXML, detail::buildTrackListIxml(keptNames), 0});
}

std::uint64_t chunkBytes(std::uint64_t payloadSize) { return 8 + payloadSize + (payloadSize & 1u); }

std::uint64_t riffSizeOf(const CarriedChunks& layout, std::size_t fmtSize, std::uint64_t dataSize) {
    std::uint64_t size = 4 + chunkBytes(fmtSize) + chunkBytes(dataSize);
    for (const auto* list : {&layout.preData, &layout.postData})
        for (const MetaChunk& chunk : *list) size += chunkBytes(chunk.size());
    return size;
}

void writeChunkHeader(SafeFileReplacement& out, const detail::FourCC& id, std::uint64_t size) {
    unsigned char header[8];
    std::memcpy(header, id.bytes.data(), 4);
    detail::writeU32(header + 4, static_cast<std::uint32_t>(size));
    out.write(header, sizeof header);
}

void writePadFor(SafeFileReplacement& out, std::uint64_t size) {
    if (size & 1u) out.writeZeros(1);
}

void writeChunk(SafeFileReplacement& out, const detail::FourCC& id, std::string_view bytes,
                std::uint32_t zeroTail = 0) {
    const std::uint64_t size = bytes.size() + std::uint64_t{zeroTail};
    writeChunkHeader(out, id, size);
    out.write(bytes.data(), bytes.size());
    out.writeZeros(zeroTail);
    writePadFor(out, size);
}

void writeChunk(SafeFileReplacement& out, const MetaChunk& chunk) {
    writeChunk(out, chunk.id, chunk.bytes, chunk.zeroTail);
}

// `fmt ` goes first, or right after a leading `bext`, which recorders and
// players expect at the front.
void writeHeaderAndPreData(SafeFileReplacement& out, std::uint64_t riffSize, const std::string& fmtPayload,
                           const std::vector<MetaChunk>& preData) {
    unsigned char header[12];
    std::memcpy(header, detail::kRiff.bytes.data(), 4);
    detail::writeU32(header + 4, static_cast<std::uint32_t>(riffSize));
    std::memcpy(header + 8, detail::kWave.bytes.data(), 4);
    out.write(header, sizeof header);

    const bool bextFirst = !preData.empty() && preData.front().id == detail::kBext;
    if (bextFirst) writeChunk(out, preData.front());
    writeChunk(out, detail::kFmt, fmtPayload);
    for (std::size_t i = bextFirst ? 1 : 0; i < preData.size(); ++i) writeChunk(out, preData[i]);
}

struct FrameCopy {
    std::size_t sourceAlign = 0;
    std::size_t outputAlign = 0;
    std::size_t bytesPerSample = 0;
    std::vector<std::size_t> sourceOffsets;  // byte of each kept sample within a source frame
};

FrameCopy frameCopyOf(const detail::FormatChunk& format, const std::vector<std::size_t>& keptChannels) {
    FrameCopy copy;
    copy.bytesPerSample = format.bitsPerSample / 8u;
    copy.sourceAlign = format.blockAlign;
    copy.outputAlign = keptChannels.size() * copy.bytesPerSample;
    for (const std::size_t channel : keptChannels) copy.sourceOffsets.push_back(channel * copy.bytesPerSample);
    return copy;
}

// Output frame k, position j takes the bytes of source frame k, channel
// keptChannels[j], unchanged. The width is a constant so each sample is a
// single fixed-size move.
template <std::size_t Width>
void copyKeptSamplesOfWidth(const unsigned char* in, unsigned char* out, std::size_t frames, const FrameCopy& copy) {
    const std::size_t* offsets = copy.sourceOffsets.data();
    const std::size_t kept = copy.sourceOffsets.size();
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t j = 0; j < kept; ++j) std::memcpy(out + j * Width, in + offsets[j], Width);
        in += copy.sourceAlign;
        out += copy.outputAlign;
    }
}

void copyKeptSamples(const unsigned char* in, unsigned char* out, std::size_t frames, const FrameCopy& copy) {
    switch (copy.bytesPerSample) {
        case 2: return copyKeptSamplesOfWidth<2>(in, out, frames, copy);
        case 3: return copyKeptSamplesOfWidth<3>(in, out, frames, copy);
        default: return copyKeptSamplesOfWidth<4>(in, out, frames, copy);
    }
}

// Every frame the walk found must arrive: a shorter read means the file
// changed or the device failed, and a shortened copy must not replace it.
void copyAudio(std::istream& in, const SampleData& data, const FrameCopy& copy, SafeFileReplacement& out) {
    const std::size_t blockFrames = detail::framesPerBlock(kMaxInputBlockBytes, copy.sourceAlign, kMaxBlockFrames);
    std::vector<unsigned char> input(blockFrames * copy.sourceAlign);
    std::vector<unsigned char> output(blockFrames * copy.outputAlign);

    in.clear();
    in.seekg(static_cast<std::streamoff>(data.offset));
    for (std::uint64_t done = 0; done < data.frames;) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(data.frames - done, blockFrames));
        const auto wanted = static_cast<std::streamsize>(frames * copy.sourceAlign);
        if (!in.read(reinterpret_cast<char*>(input.data()), wanted) || in.gcount() != wanted)
            refuse(detail::msg::couldNotReadSource);
        copyKeptSamples(input.data(), output.data(), frames, copy);
        out.write(output.data(), frames * copy.outputAlign);
        done += frames;
    }
}

// Before an original is replaced, its replacement is read back and every
// frame compared with the kept channels of the source: only a file proven to
// hold the same audio may take the original's name.
constexpr std::size_t kMaxVerifyBlockBytes = 4u << 20;

void verifyKeptAudio(std::istream& source, const SampleData& data, const FrameCopy& copy,
                     const std::filesystem::path& written, std::uint64_t writtenDataOffset) {
    std::ifstream back(written, std::ios::binary);
    if (!back.is_open()) refuse(detail::msg::couldNotWriteOutput);
    const std::size_t blockFrames = detail::framesPerBlock(kMaxVerifyBlockBytes, copy.sourceAlign, kMaxBlockFrames);
    std::vector<unsigned char> input(blockFrames * copy.sourceAlign);
    std::vector<unsigned char> expected(blockFrames * copy.outputAlign);
    std::vector<unsigned char> actual(blockFrames * copy.outputAlign);

    source.clear();
    source.seekg(static_cast<std::streamoff>(data.offset));
    back.seekg(static_cast<std::streamoff>(writtenDataOffset));
    for (std::uint64_t done = 0; done < data.frames;) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(data.frames - done, blockFrames));
        const auto inputBytes = static_cast<std::streamsize>(frames * copy.sourceAlign);
        const auto outputBytes = static_cast<std::streamsize>(frames * copy.outputAlign);
        if (!source.read(reinterpret_cast<char*>(input.data()), inputBytes)) refuse(detail::msg::couldNotReadSource);
        if (!back.read(reinterpret_cast<char*>(actual.data()), outputBytes)) refuse(detail::msg::couldNotWriteOutput);
        copyKeptSamples(input.data(), expected.data(), frames, copy);
        if (std::memcmp(expected.data(), actual.data(), static_cast<std::size_t>(outputBytes)) != 0)
            refuse(detail::msg::couldNotWriteOutput);
        done += frames;
    }
}

bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// The temporary file must never be the source itself, or creating it would
// destroy the recording before it is read.
void checkTemporaryIsNotSource(const std::filesystem::path& destination, const std::filesystem::path& source) {
    if (isSameFile(detail::temporaryPathFor(destination), source)) refuse(detail::msg::couldNotCreateOutput);
}

}  // namespace

std::string removalRefusal(const PolyWavInfo& info) {
    if (!info.error.empty()) return info.error;
    if (info.tracks.empty() || info.emptyCount() == 0) return detail::msg::noEmptyTracks;
    if (info.activeCount() == 0) return detail::msg::allTracksEmpty;
    return {};
}

std::filesystem::path compressOutputPath(const std::filesystem::path& source, bool overwrite,
                                         const std::filesystem::path& outputPath) {
    if (!outputPath.empty()) return outputPath;
    if (overwrite) return source;
    return source.parent_path() / (source.stem().string() + "_SLIM" + source.extension().string());
}

std::filesystem::path compressPolyWav(const std::filesystem::path& source, bool overwrite, double threshold,
                                      const std::filesystem::path& outputPath) {
    // One walk of the source: the analysis and the copy share the open file.
    detail::WavFile wav;
    if (!detail::openWav(source, wav)) refuse(wav.error);
    const KeptTracks kept = keptTracksOf(detail::analyzeOpenWav(source, wav, threshold));
    const std::filesystem::path destination = compressOutputPath(source, overwrite, outputPath);

    CarriedChunks carried = carriedChunksOf(wav);
    detail::rewriteIxmlChunks(carried.preData, kept.names, kept.channelMap);
    detail::rewriteIxmlChunks(carried.postData, kept.names, kept.channelMap);
    ensureIxml(carried, kept.names);

    const detail::FormatChunk& format = wav.fmt;
    const FrameCopy copy = frameCopyOf(format, kept.channels);
    const std::uint64_t dataBytesPresent = std::min(wav.dataSize, wav.bytesFrom(wav.dataOffset));
    const SampleData data{wav.dataOffset, dataBytesPresent / copy.sourceAlign};
    const std::uint64_t dataSize = data.frames * copy.outputAlign;
    const std::string fmtPayload = detail::FormatChunk::payloadFor(
        format.formatCode, static_cast<std::uint16_t>(kept.channels.size()), format.sampleRate, format.bitsPerSample);
    const std::uint64_t riffSize = riffSizeOf(carried, fmtPayload.size(), dataSize);
    if (riffSize > kMaxRiffSize) refuse(detail::msg::outputTooLarge);
    checkTemporaryIsNotSource(destination, source);
    const bool replacesSource = isSameFile(destination, source);

    SafeFileReplacement out(destination);
    writeHeaderAndPreData(out, riffSize, fmtPayload, carried.preData);
    writeChunkHeader(out, detail::kData, dataSize);
    const std::uint64_t writtenDataOffset = out.bytesWritten();
    copyAudio(wav.stream, data, copy, out);
    writePadFor(out, dataSize);
    for (const MetaChunk& chunk : carried.postData) writeChunk(out, chunk);
    if (replacesSource) verifyKeptAudio(wav.stream, data, copy, out.temporaryPath(), writtenDataOffset);
    out.commit();
    return destination;
}

}  // namespace quillon
