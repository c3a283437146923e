#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "quillon/quillon.h"
#include "texts.h"

namespace quillon::cli {
namespace {

using nlohmann::json;

// File names and metadata may hold any bytes; JSON output replaces invalid
// UTF-8 instead of failing.
std::string dumpLine(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Tracks are numbered from 1 in every record, as in the text output.
json trackJson(const TrackInfo& track) {
    return {{"track", track.index + 1}, {"name", track.name}, {"peak", track.peak},
            {"rms", track.rms},     {"empty", track.empty}};
}

json fileJson(const PolyWavInfo& info) {
    json tracks = json::array();
    for (const auto& track : info.tracks) tracks.push_back(trackJson(track));
    return {{"path", info.path.string()}, {"channels", info.channels},
            {"sampleRate", info.sampleRate}, {"bitsPerSample", info.bitsPerSample},
            {"isFloat", info.isFloat},       {"duration", info.duration},
            {"timecode", info.timecode},     {"tracks", tracks},
            {"peaksCoverTake", info.peaksCoverTake()}, {"error", info.error}};
}

// Columns padded to the widest entry of the file, so they line up.
void printTracks(const PolyWavInfo& info, std::ostream& out) {
    std::size_t nameWidth = 0;
    std::size_t peakWidth = 0;
    for (const auto& track : info.tracks) {
        nameWidth = std::max(nameWidth, track.name.size());
        peakWidth = std::max(peakWidth, ui::peakText(track.peak, info.peaksCoverTake()).size());
    }
    for (const auto& track : info.tracks) {
        char number[16];
        std::snprintf(number, sizeof number, "%4d", track.index + 1);
        const std::string peak = ui::peakText(track.peak, info.peaksCoverTake());
        out << number << "  " << track.name << std::string(nameWidth - track.name.size(), ' ') << "  "
            << std::string(peakWidth - peak.size(), ' ') << peak << "  " << ui::trackStateText(track) << '\n';
    }
}

struct Scanned {
    std::vector<PolyWavInfo> results;
    std::size_t passedOver = 0;
};

// The folder's results; each .wav file passed over gets a line on `err`.
Scanned scanFolder(const std::filesystem::path& folder, bool recursive, double threshold, const Progress& progress,
                   std::ostream& err, PeakCoverage coverage = PeakCoverage::untilDecided) {
    Scanned scanned;
    scanned.results = scanDirectory(folder, recursive, threshold, ui::kMinChannels,
                                    [&](std::int32_t number, std::int32_t count, const std::filesystem::path& path) {
                                        progress.show(ui::analyzingText(number, count, path));
                                    }, coverage);
    progress.finish();
    const std::vector<PassedOverFile> passed = passedOverFiles(folder, recursive, ui::kMinChannels);
    for (const PassedOverFile& file : passed) err << ui::passedOverLine(file, folder) << '\n';
    scanned.passedOver = passed.size();
    return scanned;
}

struct Candidate {
    PolyWavInfo info;
    std::filesystem::path folder;  // the folder argument it was found in; empty for a file argument
};

// Folders are scanned, files analysed alone; results keep argument order.
std::vector<Candidate> gather(const StripOptions& options, double threshold, const Progress& progress,
                              std::ostream& err) {
    std::vector<Candidate> candidates;
    for (const auto& path : options.paths) {
        if (std::filesystem::is_directory(path)) {
            for (auto& info : scanFolder(path, options.recursive, threshold, progress, err).results)
                candidates.push_back({std::move(info), path});
        } else {
            candidates.push_back({analyzePolyWav(path, threshold), {}});
        }
    }
    return candidates;
}

// Why a file is not written: the writer's refusal, too few channels, or a
// copy that is there already and may not be replaced.
std::string refusalFor(const PolyWavInfo& chosen, const Candidate& candidate, const StripOptions& options) {
    if (std::string refusal = ui::refusalText(chosen); !refusal.empty()) return refusal;
    if (options.force) return {};
    const auto copy = ui::existingCopy(candidate.info.path, options.overwrite);
    return copy ? ui::copyExistsText(*copy, candidate.folder) : std::string();
}

// The tracks to remove from each file: its empty ones, or alike across files.
std::vector<ui::TrackChoice> choicesFor(const std::vector<Candidate>& candidates, bool uniform) {
    std::vector<PolyWavInfo> files;
    std::vector<ui::TrackChoice> choices;
    for (const Candidate& candidate : candidates) {
        files.push_back(candidate.info);
        choices.push_back(ui::emptyTracksOf(candidate.info));
    }
    return uniform ? ui::keepTracksAlike(files, std::move(choices)) : choices;
}

// The 1-based numbers of the channels whose flag is `removed`.
json channelsWhere(const ui::TrackChoice& remove, bool removed) {
    json channels = json::array();
    for (std::size_t k = 0; k < remove.size(); ++k)
        if (remove[k] == removed) channels.push_back(k + 1);
    return channels;
}

struct StripOutcome {
    std::int32_t done = 0;
    std::int32_t failed = 0;
};

}  // namespace

void Progress::show(const std::string& text) const {
    if (enabled_) std::fprintf(stderr, "\r\x1b[K%s", text.c_str());
}

void Progress::finish() const {
    if (enabled_) std::fputs("\r\x1b[K", stderr);
}

int runScan(const ScanOptions& options, const Progress& progress, std::ostream& out, std::ostream& err) {
    Scanned scanned;
    try {
        scanned = scanFolder(options.folder, options.recursive, ui::thresholdFromDb(options.thresholdDb), progress, err,
                             options.full ? PeakCoverage::wholeTake : PeakCoverage::untilDecided);
    } catch (const std::exception& e) {
        progress.finish();
        err << ui::scanFailedText(e.what()) << '\n';
        return kSomeFailed;
    }
    const std::vector<PolyWavInfo>& results = scanned.results;
    for (const auto& info : results) {
        if (options.json) {
            out << dumpLine(fileJson(info)) << '\n';
            continue;
        }
        out << ui::summaryText(info, options.folder) << '\n';
        if (options.tracks) printTracks(info, out);
    }
    if (!options.json)
        out << ui::foundText(results) << ui::passedOverText(scanned.passedOver, results.size(), options.recursive)
            << '\n';
    const bool anyFailed =
        std::any_of(results.begin(), results.end(), [](const PolyWavInfo& info) { return !info.error.empty(); });
    return anyFailed ? kSomeFailed : kAllDone;
}

int runStrip(const StripOptions& options, const Progress& progress, std::ostream& out, std::ostream& err) {
    const double threshold = ui::thresholdFromDb(options.thresholdDb);
    std::vector<Candidate> candidates;
    try {
        candidates = gather(options, threshold, progress, err);
    } catch (const std::exception& e) {
        progress.finish();
        err << ui::scanFailedText(e.what()) << '\n';
        return kSomeFailed;
    }

    const std::vector<ui::TrackChoice> choices = choicesFor(candidates, options.uniform);
    StripOutcome outcome;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& [info, folder] = candidates[i];
        const PolyWavInfo chosen = ui::withChoice(info, choices[i]);
        json record = {{"source", info.path.string()}};
        // A file named on the command line that cannot be read is a failure
        // the user must hear of; any other file that is not written is
        // skipped with its reason.
        if (const std::string refusal = refusalFor(chosen, candidates[i], options); !refusal.empty()) {
            const bool failed = folder.empty() && !info.error.empty();
            if (failed) ++outcome.failed;
            record[failed ? "error" : "skipped"] = refusal;
            if (!options.json) err << ui::errorLine(info, refusal, folder) << '\n';
        } else {
            record["removed"] = chosen.emptyCount();
            record["kept"] = chosen.activeCount();
            record["removedChannels"] = channelsWhere(choices[i], true);
            record["keptChannels"] = channelsWhere(choices[i], false);
            try {
                // The writer proves the file is still the one analysed, reading it once.
                const auto written = options.dryRun ? compressOutputPath(info.path, options.overwrite)
                                                    : removeTracks(info.path, info, choices[i], options.overwrite);
                ++outcome.done;
                record["output"] = written.string();
                record["written"] = !options.dryRun;
                if (!options.json) out << ui::successLine(chosen, written, folder) << '\n';
            } catch (const std::exception& e) {
                ++outcome.failed;
                record["error"] = e.what();
                if (!options.json) err << ui::errorLine(info, e.what(), folder) << '\n';
            }
        }
        if (options.json) out << dumpLine(record) << '\n';
    }
    if (!options.json) {
        if (options.dryRun)
            out << "Dry run: would remove empty tracks from " << outcome.done << " file(s).\n";
        else
            out << ui::removalDoneText(outcome.done, outcome.failed) << '\n';
    }
    return outcome.failed > 0 ? kSomeFailed : kAllDone;
}

}  // namespace quillon::cli
