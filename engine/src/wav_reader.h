// The container reader: opens a WAV file, walks its chunks once and gathers
// what the analysis needs, without reading sample data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "chunk_types.h"
#include "riff.h"

namespace quillon::detail {

// One chunk met by the walk, and its side of the first `data` chunk. The
// writer carries chunks from this list instead of walking the file again.
struct ChunkEntry {
    ChunkHeader header;
    bool afterData = false;
};

struct WavFile {
    std::ifstream stream;
    FormatChunk fmt;  // the last fmt chunk met; fmt.formatCode is the effective format code
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    std::string ixml;  // payload of the last XML chunk that is an iXML document, else of the last XML chunk
    std::uint64_t timeReference = 0;
    bool hasTimeReference = false;
    std::vector<ChunkEntry> chunks;  // every chunk in file order, fmt and data included
    std::uint64_t fileSize = 0;
    std::string error;

    // Bytes of the file from `offset` to its end (0 past the end).
    std::uint64_t bytesFrom(std::uint64_t offset) const { return offset < fileSize ? fileSize - offset : 0; }
};

// True when the file is a decodable RIFF/WAVE file (PCM or IEEE float at 16,
// 24 or 32 bits); otherwise false with one fixed text in `wav.error`.
bool openWav(const std::filesystem::path& path, WavFile& wav);

// An ADM file describes its channels by id in a `chna` chunk, which the
// writer does not rewrite; field recorders never write one.
bool hasAdmChannels(const WavFile& wav);

}  // namespace quillon::detail
