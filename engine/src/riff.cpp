#include "riff.h"

#include <algorithm>
#include <string>

namespace quillon::detail {
namespace {

// The ds64 table is read up to this many entries; recorders write one or
// two, and a hostile table must not cost memory.
constexpr std::uint32_t kMaxDs64TableEntries = 4096;
constexpr std::size_t kDs64EntryBytes = 12;
// What a writer that streams puts in a size field it cannot know yet.
constexpr std::uint32_t kSizeUnknown = 0xFFFFFFFFu;

std::uint64_t sizeOfStream(std::istream& in) {
    in.clear();
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

std::optional<ChunkWalker> ChunkWalker::open(std::istream& in) {
    char header[12];
    in.clear();
    in.seekg(0);
    if (!in.read(header, sizeof header)) return std::nullopt;
    const FourCC form = FourCC::fromBytes(header);
    if (!(form == kRiff || form == kRf64 || form == kBw64) || !(FourCC::fromBytes(header + 8) == kWave))
        return std::nullopt;
    ChunkWalker walker(in, sizeOfStream(in));
    walker.is64_ = form != kRiff;
    walker.riffSize_ = readU32(reinterpret_cast<const unsigned char*>(header) + 4);
    if (walker.is64_ && !walker.readDs64()) return std::nullopt;
    return walker;
}

// The first chunk of an RF64/BW64 file; the walk goes on after it.
bool ChunkWalker::readDs64() {
    const std::optional<ChunkHeader> first = next();
    if (!first || !(first->id == kDs64) || first->size < kDs64MinSize) return false;
    const std::uint64_t present = std::min(first->size, fileSize_ - first->payloadOffset);
    std::string payload;
    if (readPayload(*in_, kDs64MinSize, present, payload) < kDs64MinSize) return false;
    ds64DataSize_ = readU64(bytesOf(payload) + 8);
    const std::uint64_t tableBytes = present - kDs64MinSize;
    const std::uint64_t entries =
        std::min<std::uint64_t>({readU32(bytesOf(payload) + 24), tableBytes / kDs64EntryBytes, kMaxDs64TableEntries});
    std::string table;
    readPayload(*in_, entries * kDs64EntryBytes, tableBytes, table);
    for (std::size_t at = 0; at + kDs64EntryBytes <= table.size(); at += kDs64EntryBytes)
        ds64Table_.emplace_back(FourCC::fromBytes(table.data() + at), readU64(bytesOf(table) + at + 4));
    return true;
}

std::uint64_t ChunkWalker::resolvedSize(const FourCC& id, std::uint32_t sizeField,
                                        std::uint64_t payloadOffset) const {
    if (is64_ && sizeField == kSizeInDs64) {
        if (id == kData) return ds64DataSize_;
        const auto entry = std::ranges::find(ds64Table_, id, &std::pair<FourCC, std::uint64_t>::first);
        return entry == ds64Table_.end() ? sizeField : entry->second;
    }
    if (!is64_ && id == kData && formatSeen_ && isDataSizePlaceholder(sizeField)) return fileSize_ - payloadOffset;
    return sizeField;
}

bool ChunkWalker::isDataSizePlaceholder(std::uint32_t sizeField) const {
    const bool riffUnfinished =
        riffSize_ == 0 || riffSize_ == kSizeUnknown || std::uint64_t{riffSize_} + 8 < fileSize_;
    return sizeField == kSizeUnknown || (sizeField == 0 && riffUnfinished);
}

std::optional<ChunkHeader> ChunkWalker::next() {
    if (nextOffset_ > fileSize_ || fileSize_ - nextOffset_ < 8) return std::nullopt;
    in_->clear();
    in_->seekg(static_cast<std::streamoff>(nextOffset_));
    unsigned char raw[8];
    if (!in_->read(reinterpret_cast<char*>(raw), sizeof raw)) return std::nullopt;

    ChunkHeader header;
    header.id = FourCC::fromBytes(reinterpret_cast<const char*>(raw));
    header.payloadOffset = nextOffset_ + 8;
    header.size = resolvedSize(header.id, readU32(raw + 4), header.payloadOffset);
    formatSeen_ = formatSeen_ || header.id == kFmt;
    // A size beyond the file ends the walk without overflowing the offset.
    const std::uint64_t rest = fileSize_ - header.payloadOffset;
    nextOffset_ = header.size > rest ? fileSize_ + 1 : header.payloadOffset + header.size + (header.size & 1u);
    return header;
}

std::size_t readPayload(std::istream& in, std::uint64_t size, std::uint64_t available, std::string& out) {
    const auto wanted = static_cast<std::size_t>(std::min(size, available));
    out.assign(wanted, '\0');
    in.read(out.data(), static_cast<std::streamsize>(wanted));
    out.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return out.size();
}

}  // namespace quillon::detail
