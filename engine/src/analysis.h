// The analysis of one file, split from its opening so that the writer can
// analyse the file it has opened and then copy from the same walk.
#pragma once

#include <filesystem>

#include "quillon/quillon.h"
#include "wav_reader.h"

namespace quillon::detail {

// Measures a file that openWav has accepted and reads its recorder metadata.
PolyWavInfo analyzeOpenWav(const std::filesystem::path& path, WavFile& wav, double threshold,
                           PeakCoverage coverage = PeakCoverage::untilDecided);

}  // namespace quillon::detail
