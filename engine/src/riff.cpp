#include "riff.h"

#include <algorithm>

namespace quillon::detail {

bool readRiffWaveHeader(std::istream& in) {
    char header[12];
    if (!in.read(header, sizeof header)) return false;
    return FourCC::fromBytes(header) == kRiff && FourCC::fromBytes(header + 8) == kWave;
}

ChunkWalker::ChunkWalker(std::istream& in) : in_(in) {
    in_.clear();
    in_.seekg(0, std::ios::end);
    const auto end = in_.tellg();
    fileSize_ = end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

std::optional<ChunkHeader> ChunkWalker::next() {
    if (nextOffset_ + 8 > fileSize_) return std::nullopt;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(nextOffset_));
    unsigned char raw[8];
    if (!in_.read(reinterpret_cast<char*>(raw), sizeof raw)) return std::nullopt;

    ChunkHeader header;
    header.id = FourCC::fromBytes(reinterpret_cast<const char*>(raw));
    header.size = readU32(raw + 4);
    header.payloadOffset = nextOffset_ + 8;
    nextOffset_ = header.payloadOffset + header.size + (header.size & 1u);
    return header;
}

std::size_t readPayload(std::istream& in, std::uint32_t size, std::uint64_t available, std::string& out) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, available));
    out.assign(wanted, '\0');
    in.read(out.data(), static_cast<std::streamsize>(wanted));
    out.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return out.size();
}

}  // namespace quillon::detail
