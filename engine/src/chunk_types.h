// The chunk kinds whose payload the engine reads or writes itself: the
// format description and the broadcast-wave extension. XML metadata and the
// per-channel chunks are handled as text by the iXML rewrite; every other
// chunk is carried as opaque bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::detail {

struct FormatChunk {
    static constexpr std::uint32_t kMinSize = 16;
    static constexpr std::uint32_t kExtensibleSize = 40;
    static constexpr std::uint16_t kExtensibleTag = 0xFFFE;

    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    // The effective format code: the tag, or for an extensible payload of 40
    // declared bytes or more the first two bytes of its sub-format GUID.
    std::uint16_t formatCode = 1;

    // `bytes` holds at least the first kMinSize bytes of a payload declared
    // `declaredSize` bytes long (and its first 40 when there are that many).
    static FormatChunk parse(std::string_view bytes, std::uint32_t declaredSize);

    // The payload written for `channels` interleaved samples: the 16-byte form
    // for one or two channels, WAVE_FORMAT_EXTENSIBLE without a channel mask
    // for more. The tag or sub-format carries `formatCode`.
    static std::string payloadFor(std::uint16_t formatCode, std::uint16_t channels, std::uint32_t sampleRate,
                                  std::uint16_t bitsPerSample);
};

struct BextChunk {
    static constexpr std::uint32_t kTimeReferenceOffset = 338;
    static constexpr std::uint32_t kMinSizeWithTimeReference = 346;

    // TimeReference of a payload declared `declaredSize` bytes long, of which
    // `bytes` are present; missing bytes count as zero.
    static std::optional<std::uint64_t> timeReference(std::string_view bytes, std::uint32_t declaredSize);
};

}  // namespace quillon::detail
