// The chunk kinds whose payload the engine reads or writes itself: the
// format description, the broadcast-wave extension, the frame count of
// `fact`, the per-channel peaks of `PEAK` and the 64-bit sizes of `ds64`.
// XML metadata and the per-channel chunks are handled as text by the iXML
// rewrite; every other chunk is carried as opaque bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "riff.h"

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
    static FormatChunk parse(std::string_view bytes, std::uint64_t declaredSize);

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
    static std::optional<std::uint64_t> timeReference(std::string_view bytes, std::uint64_t declaredSize);

    // Recorders name tracks by position in the Description ("sTRK2=Boom\r\n").
    // Such a line of a kept channel gets the channel's output position, one
    // of a dropped or unknown channel goes, and the Description is padded
    // with zeros back to its size. Without such lines nothing changes.
    static void renumberTrackLines(std::string& payload, const std::vector<std::int32_t>& channelMap);
};

struct FactChunk {
    // Sets the frame count, the first four bytes of a payload that has them.
    static void setSampleCount(std::string& payload, std::uint32_t frames);
};

struct PeakChunk {
    static constexpr std::size_t kHeaderSize = 8;  // version, time stamp
    static constexpr std::size_t kEntrySize = 8;   // per channel: value, position

    // Keeps the entries of `keptChannels` (source channels, in output order)
    // when the payload holds one entry per source channel; a payload of any
    // other size describes no channels that can be known and stays as it is.
    static void keepChannels(std::string& payload, const std::vector<std::size_t>& keptChannels,
                             std::size_t sourceChannels);
};

struct Ds64Chunk {
    struct Entry {
        FourCC id;
        std::uint64_t size = 0;
    };
    static std::uint64_t payloadSize(std::size_t entries) { return kDs64MinSize + 12 * std::uint64_t{entries}; }
    static std::string payloadFor(std::uint64_t riffSize, std::uint64_t dataSize, std::uint64_t sampleCount,
                                  const std::vector<Entry>& table);
};

}  // namespace quillon::detail
