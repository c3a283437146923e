// Fuzz inputs arrive in memory; the engine reads files. Each target writes
// its input to a file in a private temporary folder that lives as long as
// the process (scripts/fuzz points TMPDIR at memory: the writer syncs every
// file it writes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "wav_builder.h"

namespace fuzzing {

inline const std::filesystem::path& scratchFolder() {
    static const quillon::testing::TempDir folder;
    return folder.path();
}

inline std::filesystem::path writeInput(const std::uint8_t* data, std::size_t size, const std::string& name) {
    const auto path = scratchFolder() / name;
    quillon::testing::writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
    return path;
}

}  // namespace fuzzing
