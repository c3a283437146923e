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

json trackJson(const TrackInfo& track) {
    return {{"index", track.index}, {"name", track.name}, {"peak", track.peak},
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

std::vector<PolyWavInfo> scanFolder(const std::filesystem::path& folder, bool recursive, double threshold,
                                    const Progress& progress, PeakCoverage coverage = PeakCoverage::untilDecided) {
    auto results = scanDirectory(folder, recursive, threshold, ui::kMinChannels,
                                 [&](std::int32_t number, std::int32_t count, const std::filesystem::path& path) {
                                     progress.show(ui::analyzingText(number, count, path));
                                 }, coverage);
    progress.finish();
    return results;
}

struct Candidate {
    PolyWavInfo info;
    bool named = false;  // given as a file argument rather than found in a folder
};

// Folders are scanned, files analysed alone; results keep argument order.
std::vector<Candidate> gather(const StripOptions& options, double threshold, const Progress& progress) {
    std::vector<Candidate> candidates;
    for (const auto& path : options.paths) {
        if (std::filesystem::is_directory(path)) {
            for (auto& info : scanFolder(path, options.recursive, threshold, progress))
                candidates.push_back({std::move(info)});
        } else {
            candidates.push_back({analyzePolyWav(path, threshold), true});
        }
    }
    return candidates;
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
    std::vector<PolyWavInfo> results;
    try {
        results = scanFolder(options.folder, options.recursive, ui::thresholdFromDb(options.thresholdDb), progress,
                             options.full ? PeakCoverage::wholeTake : PeakCoverage::untilDecided);
    } catch (const std::exception& e) {
        progress.finish();
        err << ui::scanFailedText(e.what()) << '\n';
        return kSomeFailed;
    }
    for (const auto& info : results) {
        if (options.json) {
            out << dumpLine(fileJson(info)) << '\n';
            continue;
        }
        out << info.summary() << '\n';
        if (options.tracks) printTracks(info, out);
    }
    if (!options.json) out << ui::foundText(results) << '\n';
    const bool anyFailed =
        std::any_of(results.begin(), results.end(), [](const PolyWavInfo& info) { return !info.error.empty(); });
    return anyFailed ? kSomeFailed : kAllDone;
}

int runStrip(const StripOptions& options, const Progress& progress, std::ostream& out, std::ostream& err) {
    const double threshold = ui::thresholdFromDb(options.thresholdDb);
    std::vector<Candidate> candidates;
    try {
        candidates = gather(options, threshold, progress);
    } catch (const std::exception& e) {
        progress.finish();
        err << ui::scanFailedText(e.what()) << '\n';
        return kSomeFailed;
    }

    const std::vector<ui::TrackChoice> choices = choicesFor(candidates, options.uniform);
    StripOutcome outcome;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& [info, named] = candidates[i];
        const PolyWavInfo chosen = ui::withChoice(info, choices[i]);
        json record = {{"source", info.path.string()}};
        // A file named on the command line that cannot be read is a failure
        // the user must hear of; any other file that is not written is
        // skipped with the reason the writer would give.
        if (const std::string refusal = removalRefusal(chosen); !refusal.empty()) {
            const bool failed = named && !info.error.empty();
            if (failed) ++outcome.failed;
            record[failed ? "error" : "skipped"] = refusal;
            if (!options.json) err << ui::errorLine(info, refusal) << '\n';
        } else {
            record["removed"] = chosen.emptyCount();
            record["kept"] = chosen.activeCount();
            record["removedChannels"] = channelsWhere(choices[i], true);
            record["keptChannels"] = channelsWhere(choices[i], false);
            try {
                const bool detected = choices[i] == ui::emptyTracksOf(info);
                const auto written = options.dryRun ? compressOutputPath(info.path, options.overwrite)
                                     : detected     ? compressPolyWav(info.path, options.overwrite, threshold, {})
                                                    : removeTracks(info.path, info, choices[i], options.overwrite);
                ++outcome.done;
                record["output"] = written.string();
                record["written"] = !options.dryRun;
                if (!options.json) out << ui::successLine(chosen, written) << '\n';
            } catch (const std::exception& e) {
                ++outcome.failed;
                record["error"] = e.what();
                if (!options.json) err << ui::errorLine(info, e.what()) << '\n';
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
