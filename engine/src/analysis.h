// The analysis of one file, split from its opening so that the writer can
// analyse the file it has opened and then copy from the same walk.
#pragma once

#include <cstdint>
#include <filesystem>

#include "quillon/quillon.h"
#include "sample_scan.h"
#include "wav_reader.h"

namespace quillon::detail {

// Measures a file that openWav has accepted and reads its recorder metadata.
PolyWavInfo analyzeOpenWav(const std::filesystem::path& path, WavFile& wav, double threshold,
                           PeakCoverage coverage = PeakCoverage::untilDecided);

// The whole frames an accepted file holds: fewer than its header declares
// when it is cut short.
std::uint64_t framesHeld(const WavFile& wav);

// Where and how an accepted file's samples are stored, for the sample scan.
SampleLayout sampleLayout(const WavFile& wav);

}  // namespace quillon::detail
