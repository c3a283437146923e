// The level of every track over the whole take, for drawing: one full read
// with the analysis's container and decoding rules, peaks per time slice.

#include <algorithm>

#include "quillon/quillon.h"
#include "sample_scan.h"
#include "wav_reader.h"

namespace quillon {

LevelOverview levelOverview(const std::filesystem::path& path, std::int32_t slices, std::stop_token stop) {
    LevelOverview overview;
    detail::WavFile wav;
    if (!detail::openWav(path, wav)) {
        overview.error = wav.error;
        return overview;
    }
    if (slices <= 0) return overview;
    // The frames the file holds: a recording cut short shows what is there.
    const std::uint64_t present = std::min(wav.dataSize, wav.bytesFrom(wav.dataOffset));
    const detail::SampleLayout layout{wav.fmt.formatCode, wav.fmt.bitsPerSample, wav.fmt.channels,
                                      wav.fmt.blockAlign, wav.dataOffset,        present};
    overview.peaks = detail::slicePeaks(wav.stream, layout, static_cast<std::uint32_t>(slices), stop);
    return overview;
}

}  // namespace quillon
