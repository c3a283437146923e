// Quillon engine: analysis, discovery, batch scan and empty-track removal of
// polyphonic WAV files. Plain values in, plain values out; no state is kept
// between calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace quillon {

// One channel of a polyphonic file. A default track is silent (empty).
struct TrackInfo {
    std::int32_t index = 0;
    std::string name;
    double peak = 0.0;
    double rms = 0.0;
    bool empty = true;
};

// The analysis of one WAV file. `error` is empty on success.
struct PolyWavInfo {
    std::filesystem::path path;
    std::int32_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t bitsPerSample = 0;
    bool isFloat = false;
    double duration = 0.0;  // frames / sampleRate
    std::uint64_t frames = 0;          // whole frames the file holds
    std::uint64_t measuredFrames = 0;  // frames the peaks cover: fewer than `frames` after an early stop
    std::string timecode;
    std::vector<TrackInfo> tracks;
    bool admChannels = false;  // an ADM file: its channels are described by id (`chna`), so it is never rewritten
    std::string error;

    std::int32_t activeCount() const;
    std::int32_t emptyCount() const;
    std::string summary() const;
    // True when the peaks are those of the whole take.
    bool peaksCoverTake() const { return measuredFrames >= frames; }
};

// How much of a take the analysis reads. `untilDecided` stops after the
// first block of 48000 frames at whose end every track has reached the
// threshold: the empty flags are final then, and a scan is fast, but an
// active track's peak covers only the frames read (`measuredFrames`, see
// peaksCoverTake). `wholeTake` reads every frame, so every peak is the take's.
enum class PeakCoverage { untilDecided, wholeTake };

// Analyses one file; a bad file is reported in the result's `error`, never
// thrown. Only exhausted memory escapes (std::bad_alloc).
PolyWavInfo analyzePolyWav(const std::filesystem::path& path, double threshold,
                           PeakCoverage coverage = PeakCoverage::untilDecided);

// Lists the decodable WAV files (".wav" or ".bwf") of `folder` with at least
// `minChannels` channels, sorted by file name. Unusable files and unreadable subfolders are
// passed over; a failure to list a folder further throws
// std::filesystem::filesystem_error.
std::vector<std::filesystem::path> discoverPolyPaths(const std::filesystem::path& folder, bool recursive,
                                                     std::int32_t minChannels);

// A file with a WAV file's name that discoverPolyPaths leaves out: the
// reader's refusal in `error`, or, when it opened, its `channels` (fewer
// than asked for).
struct PassedOverFile {
    std::filesystem::path path;
    std::string error;
    std::int32_t channels = 0;
};

// The files of `folder` that discoverPolyPaths(folder, recursive,
// minChannels) passes over, and why, sorted by file name. Hidden files are
// not among them. Throws as discoverPolyPaths does.
std::vector<PassedOverFile> passedOverFiles(const std::filesystem::path& folder, bool recursive,
                                            std::int32_t minChannels);

// Called before each file of a scan with its 1-based number, the file count
// and its path. May be empty.
using ProgressCallback =
    std::function<void(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path)>;

// Discovers and analyses every candidate of `folder` in order, each read as
// `coverage` says. Throws what discovery or the progress callback throws.
// Once `stop` is requested the scan ends before the next file and returns
// the files analysed so far.
std::vector<PolyWavInfo> scanDirectory(const std::filesystem::path& folder, bool recursive, double threshold,
                                       std::int32_t minChannels, const ProgressCallback& onProgress,
                                       PeakCoverage coverage = PeakCoverage::untilDecided, std::stop_token stop = {});

// The level of every track over the whole take: peaks[channel][slice] is the
// peak (linear, as TrackInfo::peak) of `slices` equal stretches of the
// frames the file holds, slice s covering frames [s*F/slices,
// (s+1)*F/slices); a stretch without frames has peak 0. A file the analysis
// refuses gives its error text. `peaks` is empty when `stop` was requested
// before the end or `slices` is not positive. Only exhausted memory throws.
struct LevelOverview {
    std::vector<std::vector<double>> peaks;
    std::string error;
};
LevelOverview levelOverview(const std::filesystem::path& path, std::int32_t slices, std::stop_token stop = {});

// Analyses `source`, writes it again without its empty tracks and returns
// the path written (see compressOutputPath). The written file takes its name
// only once it is on the medium and reads back from it as written. Throws
// std::runtime_error with a fixed message on refusal or failure (the
// analysis error of a bad file among them); the file system's own errors as
// std::filesystem::filesystem_error.
std::filesystem::path compressPolyWav(const std::filesystem::path& source, bool overwrite, double threshold,
                                      const std::filesystem::path& outputPath);

// Writes `source` again without the channels whose `remove` flag is set
// (one flag per channel), with compressPolyWav's writer, safety, texts and
// refusals, reading the source once. `reviewed` is the analysis the choice
// was made on: a file whose layout or length has changed since, or whose
// tracks no longer measure as reviewed (every peak and RMS, bit for bit,
// over the frames the analysis measured), is refused and nothing is
// written. The track names are read again from the file.
std::filesystem::path removeTracks(const std::filesystem::path& source, const PolyWavInfo& reviewed,
                                   const std::vector<bool>& remove, bool overwrite,
                                   const std::filesystem::path& outputPath = {});

// Why compressPolyWav would refuse a file with this analysis: its analysis
// error, or the fixed text for a file without empty tracks, without any
// active one, or an ADM file. Empty when the file can be slimmed.
std::string removalRefusal(const PolyWavInfo& info);

// The path compressPolyWav writes for these arguments: `outputPath` when
// given, else the source itself when overwriting, else NAME_SLIM.ext beside
// the source. Never throws but for exhausted memory.
std::filesystem::path compressOutputPath(const std::filesystem::path& source, bool overwrite,
                                         const std::filesystem::path& outputPath = {});

}  // namespace quillon
