// Recorder-like 24-bit 48 kHz WAV files for the benchmark programs. The
// header chunks are written first, then the samples one second at a time, so
// a file of any size is generated with about a megabyte of memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "riff.h"

namespace bench {

inline constexpr std::uint32_t kSampleRate = 48000;
inline constexpr int kBytesPerSample = 3;

struct TakeSpec {
    int channels = 8;
    std::uint64_t frames = 0;
    std::vector<int> silentChannels;             // 0-based; their samples are all zero
    std::optional<std::uint64_t> timeReference;  // in samples since midnight; a bext chunk carries it
    std::optional<std::string> ixml;             // payload of an iXML chunk
    double noisePeakDbfs = 0.0;                  // peak of the noise on the other tracks
    bool varyingLevel = false;                   // each second of each track at its own level, as in a take
};

// The whole frames that fit in `bytes` of samples.
inline std::uint64_t framesForBytes(std::uint64_t bytes, int channels) {
    return bytes / (static_cast<std::uint64_t>(channels) * kBytesPerSample);
}

// An iXML document that names the tracks "Mic 1", "Mic 2"...; `head` holds
// the elements written before the track list.
inline std::string trackListIxml(int channels, const std::string& head) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n" + head + "\n<TRACK_LIST>\n";
    for (int k = 1; k <= channels; ++k)
        text += "<TRACK><CHANNEL_INDEX>" + std::to_string(k) + "</CHANNEL_INDEX><NAME>Mic " + std::to_string(k) +
                "</NAME></TRACK>\n";
    return text + "</TRACK_LIST>\n</BWFXML>\n";
}

namespace wav {

inline void appendU16(std::string& out, std::uint16_t v) {
    unsigned char bytes[2];
    quillon::detail::writeU16(bytes, v);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

inline void appendU32(std::string& out, std::uint32_t v) {
    unsigned char bytes[4];
    quillon::detail::writeU32(bytes, v);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

inline void appendChunk(std::string& out, const char* id, const std::string& payload) {
    out.append(id, 4);
    appendU32(out, static_cast<std::uint32_t>(payload.size()));
    out += payload;
    if (payload.size() % 2 == 1) out += '\0';
}

inline std::string bextPayload(std::uint64_t timeReference) {
    std::string payload(602, '\0');
    for (int i = 0; i < 8; ++i) payload[338 + static_cast<std::size_t>(i)] = static_cast<char>(timeReference >> (8 * i));
    return payload;
}

inline std::string fmtPayload(int channels) {
    const auto blockAlign = static_cast<std::uint16_t>(channels * kBytesPerSample);
    std::string payload;
    appendU16(payload, 1);
    appendU16(payload, static_cast<std::uint16_t>(channels));
    appendU32(payload, kSampleRate);
    appendU32(payload, kSampleRate * blockAlign);
    appendU16(payload, blockAlign);
    appendU16(payload, 8 * kBytesPerSample);
    return payload;
}

// The chunks before the samples, as a field recorder writes them: bext,
// iXML, fmt, then the data chunk's header.
inline std::string chunksBeforeSamples(const TakeSpec& take, std::uint32_t dataSize) {
    std::string chunks;
    if (take.timeReference) appendChunk(chunks, "bext", bextPayload(*take.timeReference));
    if (take.ixml) appendChunk(chunks, "iXML", *take.ixml);
    appendChunk(chunks, "fmt ", fmtPayload(take.channels));
    chunks.append("data", 4);
    appendU32(chunks, dataSize);
    return chunks;
}

// One second of samples: uniform noise on the active tracks, zero on the
// silent ones. Without a varying level every second is the same.
inline std::vector<char> secondOfSamples(const TakeSpec& take, std::uint64_t second = 0) {
    std::vector<bool> silent(static_cast<std::size_t>(take.channels), false);
    for (int channel : take.silentChannels) silent.at(static_cast<std::size_t>(channel)) = true;
    std::vector<double> scales;
    for (std::uint64_t k = 0; k < silent.size(); ++k) {
        const double drop = take.varyingLevel ? static_cast<double>((second * 7 + k * 13) % 43) : 0.0;
        scales.push_back(std::pow(10.0, (take.noisePeakDbfs - drop) / 20.0));
    }
    std::vector<char> block(std::size_t{kSampleRate} * silent.size() * kBytesPerSample, '\0');
    std::uint32_t state = 12345;
    char* p = block.data();
    for (std::uint32_t frame = 0; frame < kSampleRate; ++frame)
        for (std::size_t k = 0; k < silent.size(); ++k) {
            state = state * 1664525u + 1013904223u;
            const double fullScale = static_cast<double>(static_cast<std::int32_t>(state >> 8) - (1 << 23));
            const auto sample = silent[k] ? 0 : static_cast<std::int32_t>(std::lround(fullScale * scales[k]));
            for (int b = 0; b < kBytesPerSample; ++b) *p++ = static_cast<char>(sample >> (8 * b));
        }
    return block;
}

}  // namespace wav

inline void writeTake(const std::filesystem::path& path, const TakeSpec& take) {
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(take.channels) * kBytesPerSample;
    const std::uint64_t dataSize = take.frames * frameBytes;
    const std::string chunks = wav::chunksBeforeSamples(take, static_cast<std::uint32_t>(dataSize));
    const std::uint64_t pad = dataSize % 2;
    const std::uint64_t riffSize = 4 + chunks.size() + dataSize + pad;
    // The RIFF size includes the data size: when it fits in 32 bits, so does the data size.
    if (riffSize > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many samples for one WAV file: " + path.string());

    std::string header = "RIFF";
    wav::appendU32(header, static_cast<std::uint32_t>(riffSize));
    header += "WAVE" + chunks;
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::vector<char> block = wav::secondOfSamples(take);
    for (std::uint64_t done = 0; done < take.frames;) {
        const std::uint64_t n = std::min<std::uint64_t>(kSampleRate, take.frames - done);
        if (take.varyingLevel) block = wav::secondOfSamples(take, done / kSampleRate);
        out.write(block.data(), static_cast<std::streamsize>(n * frameBytes));
        done += n;
    }
    if (pad) out.put('\0');
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace bench
