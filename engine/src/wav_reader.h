// The container reader: opens a WAV file, walks its chunks once and gathers
// what the analysis needs, without reading sample data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "chunk_types.h"

namespace quillon::detail {

struct WavFile {
    std::ifstream stream;
    FormatChunk fmt;  // the last fmt chunk met; fmt.formatCode is the effective format code
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    std::string ixml;  // payload of the last XML metadata chunk
    std::uint64_t timeReference = 0;
    bool hasTimeReference = false;
    std::string error;
};

// True when the file is a decodable RIFF/WAVE file (PCM or IEEE float at 16,
// 24 or 32 bits); otherwise false with one fixed text in `wav.error`.
bool openWav(const std::filesystem::path& path, WavFile& wav);

}  // namespace quillon::detail
