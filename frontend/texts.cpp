#include "texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace quillon::ui {
namespace {

std::string fileName(const std::filesystem::path& path) { return path.filename().string(); }

}  // namespace

bool hasEmptyTracks(const PolyWavInfo& info) { return info.error.empty() && info.emptyCount() > 0; }

bool isRemovalCandidate(const PolyWavInfo& info) { return removalRefusal(info).empty(); }

std::int32_t filesWithEmptyTracks(const std::vector<PolyWavInfo>& results) {
    return static_cast<std::int32_t>(std::count_if(results.begin(), results.end(), hasEmptyTracks));
}

double thresholdFromDb(double db) { return std::pow(10.0, db / 20.0); }

TrackChoice emptyTracksOf(const PolyWavInfo& info) {
    TrackChoice remove;
    for (const TrackInfo& track : info.tracks) remove.push_back(track.empty);
    return remove;
}

bool isWritableChoice(const TrackChoice& remove) {
    return std::count(remove.begin(), remove.end(), true) > 0 && std::count(remove.begin(), remove.end(), false) > 0;
}

std::vector<TrackChoice> keepTracksAlike(const std::vector<PolyWavInfo>& files, std::vector<TrackChoice> choices) {
    std::map<std::vector<std::string>, std::vector<std::size_t>> filesByLayout;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<std::string> names;
        for (const TrackInfo& track : files[i].tracks) names.push_back(track.name);
        if (files[i].error.empty()) filesByLayout[names].push_back(i);
    }
    for (const auto& [names, alike] : filesByLayout) {
        if (alike.size() < 2) continue;
        TrackChoice emptyInEvery(names.size(), true);
        for (const std::size_t i : alike)
            for (std::size_t k = 0; k < names.size(); ++k) emptyInEvery[k] = emptyInEvery[k] && files[i].tracks[k].empty;
        for (const std::size_t i : alike) choices[i] = emptyInEvery;
    }
    return choices;
}

PolyWavInfo withChoice(PolyWavInfo info, const TrackChoice& remove) {
    for (std::size_t k = 0; k < info.tracks.size() && k < remove.size(); ++k) info.tracks[k].empty = remove[k];
    return info;
}

std::string oneDecimal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return {buffer, result.ptr};
}

std::string peakText(double peak, bool coversTake) {
    const std::string bound = coversTake ? "" : "\u2265 ";  // GREATER-THAN OR EQUAL TO
    if (!(peak > 0.0)) return bound + "-inf";
    return bound + oneDecimal(20.0 * std::log10(peak)) + " dB";
}

std::string trackStateText(const TrackInfo& track) { return track.empty ? "empty" : "active"; }

std::string captionText(const PolyWavInfo& info) {
    if (!info.error.empty()) return "Error: " + info.error;
    const std::string dot = " \xC2\xB7 ";  // MIDDLE DOT between spaces
    return std::to_string(info.channels) + " tracks" + dot + std::to_string(info.activeCount()) + " active" + dot +
           std::to_string(info.emptyCount()) + " empty" + dot + std::to_string(info.bitsPerSample) + "-bit" +
           (info.isFloat ? " float" : "") + dot + std::to_string(info.sampleRate) + " Hz";
}

std::string notADirectoryText(const std::string& folder) { return "Not a directory:\n" + folder; }

std::string scanningText(const std::string& folder) { return "Scanning " + folder + "\u2026"; }

std::string analyzingText(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path) {
    return "Analyzing " + std::to_string(fileNumber) + "/" + std::to_string(fileCount) + ": " + fileName(path);
}

std::string foundText(const std::vector<PolyWavInfo>& results) {
    return "Found " + std::to_string(results.size()) + " polyphonic WAV file(s); " +
           std::to_string(filesWithEmptyTracks(results)) + " have empty tracks.";
}

std::string scanFailedText(const std::string& error) { return "Scan failed: " + error; }

std::string removalQuestion(std::size_t fileCount, bool overwrite) {
    const std::string count = std::to_string(fileCount);
    if (overwrite)
        return "Remove empty tracks from " + count +
               " file(s) and OVERWRITE the originals?\n\nTimecode (bext), iXML, and other metadata are preserved, "
               "but you will not keep a backup of the original file. Prefer leaving overwrite OFF so *_SLIM.wav "
               "copies are written instead.";
    return "Remove empty tracks from " + count +
           " file(s) and write *_SLIM.wav beside each original?\n\nbext timecode, iXML (scene/take/track names), "
           "and other metadata chunks are copied into the new files. Originals are left untouched.";
}

std::string removingText(std::size_t fileCount) {
    return "Removing empty tracks from " + std::to_string(fileCount) + " file(s)\u2026";
}

std::string successLine(const PolyWavInfo& info, const std::filesystem::path& written) {
    return fileName(info.path) + " \u2192 " + fileName(written) + " (" + std::to_string(info.emptyCount()) +
           " removed, " + std::to_string(info.activeCount()) + " kept)";
}

std::string errorLine(const PolyWavInfo& info, const std::string& message) {
    return fileName(info.path) + ": " + message;
}

std::string removalDoneText(std::int32_t done, std::int32_t failed) {
    std::string text = "Removed empty tracks from " + std::to_string(done) + " file(s).";
    if (failed != 0) text += " " + std::to_string(failed) + " failed.";
    return text;
}

std::string removalReport(const std::string& successLog, const std::string& errorLog) {
    std::string text;
    if (!successLog.empty()) text += "Success:\n" + successLog;
    if (!errorLog.empty()) {
        if (!text.empty()) text += '\n';
        text += "Errors:\n" + errorLog;
    }
    return text;
}

}  // namespace quillon::ui
