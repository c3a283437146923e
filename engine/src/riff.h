// RIFF/WAVE container primitives shared by the reader and the writer:
// four-byte chunk identifiers, little-endian fields and one chunk walker.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <optional>
#include <string_view>

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
inline constexpr FourCC kWave{"WAVE"};
inline constexpr FourCC kFmt{"fmt "};
inline constexpr FourCC kData{"data"};
inline constexpr FourCC kBext{"bext"};
inline constexpr FourCC kIXML{"iXML"};

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

// The 12-byte file header: true when it reads "RIFF" .... "WAVE".
bool readRiffWaveHeader(std::istream& in);

struct ChunkHeader {
    FourCC id;
    std::uint32_t size = 0;          // declared payload size, without the pad byte
    std::uint64_t payloadOffset = 0;  // file position of the first payload byte
};

// Walks the chunks after the RIFF/WAVE header. `next()` positions the stream
// after the previous chunk and its pad byte, reads a header and hands it to
// the caller, who may read or skip any part of the payload. It reports the
// end when a full header cannot be read.
class ChunkWalker {
public:
    explicit ChunkWalker(std::istream& in);
    std::optional<ChunkHeader> next();

    std::uint64_t fileSize() const { return fileSize_; }

private:
    std::istream& in_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t nextOffset_ = 12;
};

// Reads the payload that starts at the stream's position into `out`, at most
// `size` bytes and never more than the file still holds, so a lying size
// costs no memory. Returns the number of bytes read (out.size()).
std::size_t readPayload(std::istream& in, std::uint32_t size, std::uint64_t available, std::string& out);

}  // namespace quillon::detail
