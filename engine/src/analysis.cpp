#include "analysis.h"

#include <algorithm>

#include "recorder_metadata.h"

namespace quillon {
namespace {

double durationOf(std::uint64_t frames, std::uint32_t sampleRate) {
    if (sampleRate == 0) return 0.0;
    return static_cast<double>(frames) / static_cast<double>(sampleRate);
}

std::string startTimecode(const detail::WavFile& wav, std::int32_t sampleRate) {
    detail::TimecodeSource source;
    source.timeReference = wav.timeReference;
    source.hasTimeReference = wav.hasTimeReference;
    if (!wav.ixml.empty()) detail::readTimecodeMetadata(wav.ixml, source);
    return detail::formatStartTimecode(source, sampleRate);
}

}  // namespace

// A file cut short holds fewer frames than its header declares; its length
// is what it holds.
std::uint64_t detail::framesHeld(const WavFile& wav) {
    return std::min(wav.dataSize, wav.bytesFrom(wav.dataOffset)) / wav.fmt.blockAlign;
}

detail::SampleLayout detail::sampleLayout(const WavFile& wav) {
    return {wav.fmt.formatCode, wav.fmt.bitsPerSample, wav.fmt.channels, wav.fmt.blockAlign, wav.dataOffset,
            wav.dataSize};
}

PolyWavInfo detail::analyzeOpenWav(const std::filesystem::path& path, WavFile& wav, double threshold,
                                   PeakCoverage coverage) {
    PolyWavInfo info;
    info.path = path;
    info.channels = wav.fmt.channels;
    info.sampleRate = static_cast<std::int32_t>(wav.fmt.sampleRate);
    info.bitsPerSample = wav.fmt.bitsPerSample;
    info.isFloat = wav.fmt.formatCode == 3;
    info.frames = detail::framesHeld(wav);
    info.duration = durationOf(info.frames, wav.fmt.sampleRate);
    info.timecode = startTimecode(wav, info.sampleRate);
    info.admChannels = detail::hasAdmChannels(wav);

    const bool wholeTake = coverage == PeakCoverage::wholeTake;
    const detail::ChannelLevels levels = detail::scanSamples(wav.stream, detail::sampleLayout(wav), threshold, wholeTake);
    info.measuredFrames = levels.frames;
    std::vector<std::string> names = detail::readTrackNames(wav.ixml, info.channels);

    info.tracks.resize(static_cast<std::size_t>(info.channels));
    for (std::size_t i = 0; i < info.tracks.size(); ++i) {
        TrackInfo& track = info.tracks[i];
        track.index = static_cast<std::int32_t>(i);
        track.name = std::move(names[i]);
        track.peak = levels.peak[i];
        track.rms = levels.rms[i];
        track.empty = threshold > levels.peak[i];
    }
    return info;
}

PolyWavInfo analyzePolyWav(const std::filesystem::path& path, double threshold, PeakCoverage coverage) {
    detail::WavFile wav;
    if (!detail::openWav(path, wav)) {
        PolyWavInfo failed;
        failed.path = path;
        failed.error = wav.error;
        return failed;
    }
    return detail::analyzeOpenWav(path, wav, threshold, coverage);
}

}  // namespace quillon
