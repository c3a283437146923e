// Any file bytes: the analysis gives a clean result or one fixed error text.
#include <cstdlib>
#include <set>
#include <string>

#include "fuzz_input_file.h"
#include "quillon/quillon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::set<std::string> knownErrors = {
        "",
        "Could not open file",
        "Not a RIFF/WAVE file",
        "Invalid fmt chunk",
        "Missing fmt or data chunk",
        "Invalid format",
        "Unsupported WAV format (need PCM or IEEE float)",
        "Unsupported bit depth",
    };
    const auto path = fuzzing::writeInput(data, size, "input.wav");
    const auto info = quillon::analyzePolyWav(path, 0.001);
    if (!knownErrors.count(info.error)) std::abort();
    if (info.error.empty() && info.tracks.size() != static_cast<std::size_t>(info.channels)) std::abort();
    if (!info.error.empty() && !info.tracks.empty()) std::abort();
    (void)info.summary();
    return 0;
}
