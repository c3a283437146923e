// RIFF/WAVE container primitives shared by the reader and the writer:
// four-byte chunk identifiers, little-endian fields and one chunk walker for
// RIFF files and their 64-bit forms RF64 and BW64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::detail {

// A chunk identifier: four bytes exactly as stored, compared byte for byte.
struct FourCC {
    std::array<char, 4> bytes{};

    constexpr FourCC() = default;
    constexpr explicit FourCC(const char (&text)[5]) : bytes{text[0], text[1], text[2], text[3]} {}
    static FourCC fromBytes(const char* p) {
        FourCC id;
        std::memcpy(id.bytes.data(), p, 4);
        return id;
    }
    constexpr bool operator==(const FourCC&) const = default;
    std::string_view view() const { return {bytes.data(), bytes.size()}; }
};

inline constexpr FourCC kRiff{"RIFF"};
inline constexpr FourCC kRf64{"RF64"};
inline constexpr FourCC kBw64{"BW64"};
inline constexpr FourCC kWave{"WAVE"};
inline constexpr FourCC kDs64{"ds64"};
inline constexpr FourCC kFact{"fact"};
inline constexpr FourCC kFmt{"fmt "};
inline constexpr FourCC kData{"data"};
inline constexpr FourCC kBext{"bext"};
inline constexpr FourCC kIXML{"iXML"};
inline constexpr FourCC kPeak{"PEAK"};
inline constexpr FourCC kChna{"chna"};

// The four identifiers whose payload is XML metadata text.
inline bool isXmlChunk(const FourCC& id) {
    return id == FourCC{"iXML"} || id == FourCC{"IXML"} || id == FourCC{"axml"} || id == FourCC{"AXML"};
}

inline std::uint16_t readU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t readU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(readU32(p)) | (static_cast<std::uint64_t>(readU32(p + 4)) << 32);
}
inline void writeU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void writeU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void writeU64(unsigned char* p, std::uint64_t v) {
    writeU32(p, static_cast<std::uint32_t>(v));
    writeU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// A 32-bit size field that defers to the ds64 chunk of an RF64/BW64 file.
inline constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;
// The ds64 payload: RIFF size, data size, sample count, table length.
inline constexpr std::uint32_t kDs64MinSize = 28;

struct ChunkHeader {
    FourCC id;
    std::uint64_t size = 0;           // payload size without the pad byte, 64-bit sizes resolved
    std::uint64_t payloadOffset = 0;  // file position of the first payload byte
};

// Walks the chunks after the file header. `next()` positions the stream
// after the previous chunk and its pad byte, reads a header and hands it to
// the caller, who may read or skip any part of the payload. It reports the
// end when a full header cannot be read. In an RF64/BW64 file a size field
// of 0xFFFFFFFF takes its size from the ds64 chunk. In a RIFF file a `data`
// chunk after the `fmt ` chunk whose size is a placeholder runs to the end of
// the file: 0xFFFFFFFF, which streaming writers leave, or 0 in a recording
// that was never finalised (its RIFF size is 0, 0xFFFFFFFF or short of the
// file). A finalised file's `data` chunk of size 0 holds no frames.
class ChunkWalker {
public:
    // Reads the header ("RIFF", "RF64" or "BW64", then "WAVE") and, for the
    // 64-bit forms, the ds64 chunk that must come first; nullopt when the
    // file is not a RIFF/WAVE file.
    static std::optional<ChunkWalker> open(std::istream& in);

    std::optional<ChunkHeader> next();

    std::uint64_t fileSize() const { return fileSize_; }

private:
    ChunkWalker(std::istream& in, std::uint64_t fileSize) : in_(&in), fileSize_(fileSize) {}
    bool readDs64();
    std::uint64_t resolvedSize(const FourCC& id, std::uint32_t sizeField, std::uint64_t payloadOffset) const;
    bool isDataSizePlaceholder(std::uint32_t sizeField) const;

    std::istream* in_;
    std::uint64_t fileSize_ = 0;
    std::uint32_t riffSize_ = 0;  // the header's size field
    std::uint64_t nextOffset_ = 12;
    bool is64_ = false;
    bool formatSeen_ = false;
    std::uint64_t ds64DataSize_ = 0;
    std::vector<std::pair<FourCC, std::uint64_t>> ds64Table_;
};

// Reads the payload that starts at the stream's position into `out`, at most
// `size` bytes and never more than the file still holds, so a lying size
// costs no memory. Returns the number of bytes read (out.size()).
std::size_t readPayload(std::istream& in, std::uint64_t size, std::uint64_t available, std::string& out);

}  // namespace quillon::detail
