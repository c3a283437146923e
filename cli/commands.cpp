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
            {"error", info.error}};
}

// Columns padded to the widest entry of the file, so they line up.
void printTracks(const PolyWavInfo& info, std::ostream& out) {
    std::size_t nameWidth = 0;
    std::size_t peakWidth = 0;
    for (const auto& track : info.tracks) {
        nameWidth = std::max(nameWidth, track.name.size());
        peakWidth = std::max(peakWidth, ui::peakText(track.peak).size());
    }
    for (const auto& track : info.tracks) {
        char number[16];
        std::snprintf(number, sizeof number, "%4d", track.index + 1);
        const std::string peak = ui::peakText(track.peak);
        out << number << "  " << track.name << std::string(nameWidth - track.name.size(), ' ') << "  "
            << std::string(peakWidth - peak.size(), ' ') << peak << "  " << ui::trackStateText(track) << '\n';
    }
}

std::vector<PolyWavInfo> scanFolder(const std::filesystem::path& folder, bool recursive, const Progress& progress) {
    auto results = scanDirectory(folder, recursive, ui::kSilenceThreshold, ui::kMinChannels,
                                 [&](std::int32_t number, std::int32_t count, const std::filesystem::path& path) {
                                     progress.show(ui::analyzingText(number, count, path));
                                 });
    progress.finish();
    return results;
}

struct Candidate {
    PolyWavInfo info;
    bool named = false;  // given as a file argument rather than found in a folder
};

// Folders are scanned, files analysed alone; results keep argument order.
std::vector<Candidate> gather(const StripOptions& options, const Progress& progress) {
    std::vector<Candidate> candidates;
    for (const auto& path : options.paths) {
        if (std::filesystem::is_directory(path)) {
            for (auto& info : scanFolder(path, options.recursive, progress)) candidates.push_back({std::move(info)});
        } else {
            candidates.push_back({analyzePolyWav(path, ui::kSilenceThreshold), true});
        }
    }
    return candidates;
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
        results = scanFolder(options.folder, options.recursive, progress);
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
    std::vector<Candidate> candidates;
    try {
        candidates = gather(options, progress);
    } catch (const std::exception& e) {
        progress.finish();
        err << ui::scanFailedText(e.what()) << '\n';
        return kSomeFailed;
    }

    StripOutcome outcome;
    for (const auto& [info, named] : candidates) {
        json record = {{"source", info.path.string()}};
        // A file named on the command line that cannot be read is a failure
        // the user must hear of; any other file that is not written is
        // skipped with the reason the writer would give.
        if (const std::string refusal = removalRefusal(info); !refusal.empty()) {
            const bool failed = named && !info.error.empty();
            if (failed) ++outcome.failed;
            record[failed ? "error" : "skipped"] = refusal;
            if (!options.json) err << ui::errorLine(info, refusal) << '\n';
        } else {
            record["removed"] = info.emptyCount();
            record["kept"] = info.activeCount();
            try {
                const auto written = options.dryRun ? compressOutputPath(info.path, options.overwrite)
                                                    : compressPolyWav(info.path, options.overwrite,
                                                                      ui::kSilenceThreshold, {});
                ++outcome.done;
                record["output"] = written.string();
                record["written"] = !options.dryRun;
                if (!options.json) out << ui::successLine(info, written) << '\n';
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
