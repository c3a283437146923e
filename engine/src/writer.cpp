// The track-stripping writer: an analysis decides which channels stay (a
// fresh one, or the one the user reviewed), the source's chunks are carried
// over with their channel descriptions rewritten, and the kept samples are
// copied byte for byte into a temporary file that replaces the destination
// only once it is on the medium and reads back as written. The single copy
// pass measures the source again, proving it is the file analysed.

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "blocks.h"
#include "chunk_types.h"
#include "ixml_rewrite.h"
#include "messages.h"
#include "recorder_metadata.h"
#include "quillon/quillon.h"
#include "riff.h"
#include "safe_file_replacement.h"
#include "sample_scan.h"
#include "wav_reader.h"

namespace quillon {
namespace {

using detail::MetaChunk;
using detail::SafeFileReplacement;

// The input buffer holds at most this many frames and bytes, so frames of a
// very wide file cost no more memory than ordinary ones; the output buffer
// is smaller still.
constexpr std::size_t kMaxBlockFrames = 48000;
constexpr std::size_t kMaxInputBlockBytes = 8u << 20;
constexpr std::size_t kCopyBufferBytes = 1u << 20;

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

struct CarriedChunks {
    std::vector<MetaChunk> preData;
    std::vector<MetaChunk> postData;
};

// The kinds whose payload the writer changes are read into memory; every
// other chunk is copied from the source when it is written, so a large one
// costs no memory.
bool isRewrittenKind(const detail::FourCC& id) {
    return detail::isXmlChunk(id) || id == detail::kBext || id == detail::kFact || id == detail::kPeak;
}

// A chunk cut short by the end of the file is carried with the bytes that
// the file holds. A held payload that reads short of them means a failing
// device or a file that changed, not a short file.
MetaChunk carriedChunkOf(detail::WavFile& wav, const detail::ChunkHeader& header) {
    const std::uint64_t present = std::min(header.size, wav.bytesFrom(header.payloadOffset));
    if (!isRewrittenKind(header.id)) return {header.id, {}, detail::SourceSpan{header.payloadOffset, present}};
    MetaChunk chunk{header.id, {}, std::nullopt};
    wav.stream.clear();
    wav.stream.seekg(static_cast<std::streamoff>(header.payloadOffset));
    if (detail::readPayload(wav.stream, present, present, chunk.bytes) < present)
        refuse(detail::msg::couldNotReadSource);
    return chunk;
}

// Every chunk of the reader's walk but `fmt `, `data` and `ds64` (which
// describes the source's sizes) is carried, on its side of the first `data`
// chunk.
CarriedChunks carriedChunksOf(detail::WavFile& wav) {
    CarriedChunks carried;
    for (const detail::ChunkEntry& entry : wav.chunks) {
        const detail::FourCC& id = entry.header.id;
        if (id == detail::kFmt || id == detail::kData || id == detail::kDs64) continue;
        (entry.afterData ? carried.postData : carried.preData).push_back(carriedChunkOf(wav, entry.header));
    }
    return carried;
}

void ensureIxml(CarriedChunks& carried, const std::vector<std::string>& keptNames) {
    const auto isIxml = [](const MetaChunk& chunk) { return chunk.id == detail::kIXML; };
    if (std::ranges::any_of(carried.preData, isIxml) || std::ranges::any_of(carried.postData, isIxml)) return;
    carried.preData.push_back({detail::kIXML, detail::buildTrackListIxml(keptNames), std::nullopt});
}

// The chunks that describe channels follow the kept ones.
void rewriteChannelDescriptions(CarriedChunks& carried, const KeptTracks& kept) {
    for (auto* list : {&carried.preData, &carried.postData}) {
        detail::rewriteIxmlChunks(*list, kept.names, kept.channelMap);
        for (MetaChunk& chunk : *list) {
            if (chunk.id == detail::kBext) detail::BextChunk::renumberTrackLines(chunk.bytes, kept.channelMap);
            if (chunk.id == detail::kPeak)
                detail::PeakChunk::keepChannels(chunk.bytes, kept.channels, kept.channelMap.size());
        }
    }
    ensureIxml(carried, kept.names);
}

std::uint64_t chunkBytes(std::uint64_t payloadSize) { return 8 + payloadSize + (payloadSize & 1u); }

bool fits32(std::uint64_t size) { return size < detail::kSizeInDs64; }

// What the output holds and whether it needs the 64-bit form: a plain RIFF
// file when its RIFF size and its data size fit 32 bits, RF64 otherwise.
struct OutputPlan {
    std::string fmtPayload;
    CarriedChunks carried;
    std::uint64_t frames = 0;
    std::uint64_t dataSize = 0;
    bool rf64 = false;
    std::vector<detail::Ds64Chunk::Entry> ds64Table;  // carried chunks too large for a 32-bit size
    std::uint64_t riffSize = 0;                        // file length - 8
};

void decideForm(OutputPlan& plan) {
    std::uint64_t body = 4 + chunkBytes(plan.fmtPayload.size()) + chunkBytes(plan.dataSize);
    for (const auto* list : {&plan.carried.preData, &plan.carried.postData})
        for (const MetaChunk& chunk : *list) body += chunkBytes(chunk.size());
    plan.rf64 = body > 0xFFFFFFFFu || !fits32(plan.dataSize);
    plan.riffSize = body;
    if (!plan.rf64) return;
    for (const auto* list : {&plan.carried.preData, &plan.carried.postData})
        for (const MetaChunk& chunk : *list)
            if (!fits32(chunk.size())) plan.ds64Table.push_back({chunk.id, chunk.size()});
    plan.riffSize += chunkBytes(detail::Ds64Chunk::payloadSize(plan.ds64Table.size()));
}

// A `fact` chunk counts the frames written; in RF64 the ds64 chunk does.
void setFactCounts(OutputPlan& plan) {
    const std::uint32_t count = plan.rf64 ? detail::kSizeInDs64 : static_cast<std::uint32_t>(plan.frames);
    for (auto* list : {&plan.carried.preData, &plan.carried.postData})
        for (MetaChunk& chunk : *list)
            if (chunk.id == detail::kFact) detail::FactChunk::setSampleCount(chunk.bytes, count);
}

void writeChunkHeader(SafeFileReplacement& out, const detail::FourCC& id, std::uint64_t size) {
    unsigned char header[8];
    std::memcpy(header, id.bytes.data(), 4);
    detail::writeU32(header + 4, fits32(size) ? static_cast<std::uint32_t>(size) : detail::kSizeInDs64);
    out.write(header, sizeof header);
}

void writePadFor(SafeFileReplacement& out, std::uint64_t size) {
    if (size & 1u) out.writeZeros(1);
}

void writeChunk(SafeFileReplacement& out, const detail::FourCC& id, std::string_view bytes) {
    writeChunkHeader(out, id, bytes.size());
    out.write(bytes.data(), bytes.size());
    writePadFor(out, bytes.size());
}

void copySourceBytes(std::istream& in, const detail::SourceSpan& span, SafeFileReplacement& out) {
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(span.size, kCopyBufferBytes)));
    in.clear();
    in.seekg(static_cast<std::streamoff>(span.offset));
    for (std::uint64_t left = span.size; left > 0;) {
        const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, buffer.size()));
        if (!in.read(buffer.data(), n)) refuse(detail::msg::couldNotReadSource);
        out.write(buffer.data(), static_cast<std::size_t>(n));
        left -= static_cast<std::uint64_t>(n);
    }
}

void writeChunk(SafeFileReplacement& out, std::istream& source, const MetaChunk& chunk) {
    if (!chunk.source) return writeChunk(out, chunk.id, chunk.bytes);
    writeChunkHeader(out, chunk.id, chunk.size());
    copySourceBytes(source, *chunk.source, out);
    writePadFor(out, chunk.size());
}

// "RIFF" or "RF64" with its ds64 chunk, then `fmt ` first or right after a
// leading `bext`, which recorders and players expect at the front.
void writeHeaderAndPreData(SafeFileReplacement& out, std::istream& source, const OutputPlan& plan) {
    unsigned char header[12];
    std::memcpy(header, (plan.rf64 ? detail::kRf64 : detail::kRiff).bytes.data(), 4);
    detail::writeU32(header + 4, plan.rf64 ? detail::kSizeInDs64 : static_cast<std::uint32_t>(plan.riffSize));
    std::memcpy(header + 8, detail::kWave.bytes.data(), 4);
    out.write(header, sizeof header);
    if (plan.rf64)
        writeChunk(out, detail::kDs64,
                   detail::Ds64Chunk::payloadFor(plan.riffSize, plan.dataSize, plan.frames, plan.ds64Table));

    const std::vector<MetaChunk>& preData = plan.carried.preData;
    const bool bextFirst = !preData.empty() && preData.front().id == detail::kBext;
    if (bextFirst) writeChunk(out, source, preData.front());
    writeChunk(out, detail::kFmt, plan.fmtPayload);
    for (std::size_t i = bextFirst ? 1 : 0; i < preData.size(); ++i) writeChunk(out, source, preData[i]);
}

struct SampleData {
    std::uint64_t offset = 0;
    std::uint64_t frames = 0;  // whole frames that the file really holds
};

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

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Proves while the samples are copied that the file still measures as it
// did when its tracks were chosen: the frames the analysis measured are
// measured again with its decoder, and once the last of them is in, every
// track's peak and RMS must equal the analysis's bit for bit. Where the
// analysis stopped early, that is where they are compared; an analysis that
// measured more frames than are to be copied is of another file.
class ReviewCheck {
public:
    ReviewCheck(const detail::SampleLayout& layout, const PolyWavInfo& reviewed, std::uint64_t frames)
        : meter_(layout), reviewed_(reviewed) {
        if (reviewed.measuredFrames > frames) refuse(detail::msg::fileChanged);
        compareWhenMeasured();
    }

    void measure(const unsigned char* frames, std::size_t count) {
        const std::uint64_t left = reviewed_.measuredFrames - meter_.frames();
        if (left == 0) return;
        meter_.add(frames, static_cast<std::size_t>(std::min<std::uint64_t>(count, left)));
        compareWhenMeasured();
    }

private:
    void compareWhenMeasured() const {
        if (meter_.frames() < reviewed_.measuredFrames) return;
        const detail::ChannelLevels levels = meter_.levels();
        for (std::size_t k = 0; k < reviewed_.tracks.size(); ++k) {
            const TrackInfo& track = reviewed_.tracks[k];
            if (!sameBits(levels.peak[k], track.peak) || !sameBits(levels.rms[k], track.rms))
                refuse(detail::msg::fileChanged);
        }
    }

    detail::ChannelMeter meter_;
    const PolyWavInfo& reviewed_;
};

// Every frame the walk found must arrive: a shorter read means the file
// changed or the device failed, and a shortened copy must not replace it.
void copyAudio(std::istream& in, const SampleData& data, const FrameCopy& copy, ReviewCheck& check,
               SafeFileReplacement& out) {
    const std::size_t blockFrames = detail::framesPerBlock(kMaxInputBlockBytes, copy.sourceAlign, kMaxBlockFrames);
    std::vector<unsigned char> input(blockFrames * copy.sourceAlign + detail::ChannelMeter::kPadding);
    std::vector<unsigned char> output(blockFrames * copy.outputAlign);

    in.clear();
    in.seekg(static_cast<std::streamoff>(data.offset));
    for (std::uint64_t done = 0; done < data.frames;) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(data.frames - done, blockFrames));
        const auto wanted = static_cast<std::streamsize>(frames * copy.sourceAlign);
        if (!in.read(reinterpret_cast<char*>(input.data()), wanted) || in.gcount() != wanted)
            refuse(detail::msg::couldNotReadSource);
        check.measure(input.data(), frames);
        copyKeptSamples(input.data(), output.data(), frames, copy);
        out.write(output.data(), frames * copy.outputAlign);
        done += frames;
    }
}

// The layout a choice of tracks was made for is still the file's, with as
// many frames.
bool sameLayout(const detail::WavFile& wav, const PolyWavInfo& reviewed) {
    return reviewed.error.empty() && wav.fmt.channels == reviewed.channels &&
           static_cast<std::int32_t>(wav.fmt.sampleRate) == reviewed.sampleRate &&
           wav.fmt.bitsPerSample == reviewed.bitsPerSample && (wav.fmt.formatCode == 3) == reviewed.isFloat &&
           reviewed.tracks.size() == wav.fmt.channels && reviewed.frames == detail::framesHeld(wav);
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

// Writes the kept tracks of the open source, whose layout is the reviewed
// one, to `destination`, crash-safe.
std::filesystem::path writeKeptTracks(detail::WavFile& wav, const KeptTracks& kept, const PolyWavInfo& reviewed,
                                      const std::filesystem::path& source, const std::filesystem::path& destination) {
    // The file itself decides: the analysis reviewed may be older than it.
    if (detail::hasAdmChannels(wav)) refuse(detail::msg::admNotChanged);
    const detail::FormatChunk& format = wav.fmt;
    const FrameCopy copy = frameCopyOf(format, kept.channels);
    const SampleData data{wav.dataOffset, detail::framesHeld(wav)};

    OutputPlan plan;
    plan.fmtPayload = detail::FormatChunk::payloadFor(
        format.formatCode, static_cast<std::uint16_t>(kept.channels.size()), format.sampleRate, format.bitsPerSample);
    plan.carried = carriedChunksOf(wav);
    rewriteChannelDescriptions(plan.carried, kept);
    plan.frames = data.frames;
    plan.dataSize = data.frames * copy.outputAlign;
    decideForm(plan);
    setFactCounts(plan);
    checkTemporaryIsNotSource(destination, source);

    ReviewCheck check(detail::sampleLayout(wav), reviewed, data.frames);
    SafeFileReplacement out(destination, plan.riffSize + 8);
    writeHeaderAndPreData(out, wav.stream, plan);
    // In RF64 the data size is always the ds64 chunk's.
    writeChunkHeader(out, detail::kData, plan.rf64 ? detail::kSizeInDs64 : plan.dataSize);
    copyAudio(wav.stream, data, copy, check, out);
    writePadFor(out, plan.dataSize);
    for (const MetaChunk& chunk : plan.carried.postData) writeChunk(out, wav.stream, chunk);
    out.commit();
    return destination;
}

}  // namespace

std::string removalRefusal(const PolyWavInfo& info) {
    if (!info.error.empty()) return info.error;
    if (info.tracks.empty() || info.emptyCount() == 0) return detail::msg::noEmptyTracks;
    if (info.activeCount() == 0) return detail::msg::allTracksEmpty;
    if (info.admChannels) return detail::msg::admNotChanged;
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
    const PolyWavInfo analysis = detail::analyzeOpenWav(source, wav, threshold);
    return writeKeptTracks(wav, keptTracksOf(analysis), analysis, source,
                           compressOutputPath(source, overwrite, outputPath));
}

std::filesystem::path removeTracks(const std::filesystem::path& source, const PolyWavInfo& reviewed,
                                   const std::vector<bool>& remove, bool overwrite,
                                   const std::filesystem::path& outputPath) {
    detail::WavFile wav;
    if (!detail::openWav(source, wav)) refuse(wav.error);
    if (!sameLayout(wav, reviewed) || remove.size() != wav.fmt.channels) refuse(detail::msg::fileChanged);
    PolyWavInfo chosen = reviewed;
    const std::vector<std::string> names = detail::readTrackNames(wav.ixml, chosen.channels);
    for (std::size_t k = 0; k < chosen.tracks.size(); ++k) {
        chosen.tracks[k] = TrackInfo{static_cast<std::int32_t>(k), names[k], 0.0, 0.0, remove[k]};
    }
    return writeKeptTracks(wav, keptTracksOf(chosen), reviewed, source,
                           compressOutputPath(source, overwrite, outputPath));
}

}  // namespace quillon
