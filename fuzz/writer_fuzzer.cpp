// Any source bytes: the writer either refuses with an exception or writes a
// file that analyses cleanly with the kept channel count, and whose RIFF and
// data sizes agree with its length.
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "fuzz_input_file.h"
#include "quillon/quillon.h"

namespace {

std::uint32_t u32At(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The RIFF size is the file length less 8, and the chunks, walked header by
// header, end exactly at the end of the file, a data chunk among them.
void checkSizes(const std::filesystem::path& path) {
    const auto length = std::filesystem::file_size(path);
    std::ifstream in(path, std::ios::binary);
    unsigned char header[12];
    if (length < 12 || !in.read(reinterpret_cast<char*>(header), 12) || u32At(header + 4) != length - 8) std::abort();
    std::uint64_t at = 12;
    bool sawData = false;
    while (at + 8 <= length) {
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(header), 8)) std::abort();
        const std::uint32_t size = u32At(header + 4);
        if (at + 8 + size > length) std::abort();
        sawData = sawData || std::string_view(reinterpret_cast<const char*>(header), 4) == "data";
        at += 8 + std::uint64_t{size} + (size & 1);
    }
    if (at != length || !sawData) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr double threshold = 0.001;
    const auto source = fuzzing::writeInput(data, size, "source.wav");
    const auto output = fuzzing::scratchFolder() / "output.wav";
    std::filesystem::remove(output);

    const auto before = quillon::analyzePolyWav(source, threshold);
    try {
        quillon::compressPolyWav(source, false, threshold, output);
    } catch (const std::runtime_error&) {
        if (std::filesystem::exists(output)) std::abort();  // a refusal leaves nothing behind
        return 0;
    }
    const auto after = quillon::analyzePolyWav(output, threshold);
    if (!after.error.empty() || after.channels != before.activeCount()) std::abort();
    checkSizes(output);
    return 0;
}
