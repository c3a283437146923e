#include "texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <system_error>

namespace quillon::ui {
namespace {

std::string fileName(const std::filesystem::path& path) { return path.filename().string(); }

std::vector<std::string> trackNames(const PolyWavInfo& info) {
    std::vector<std::string> names;
    for (const TrackInfo& track : info.tracks) names.push_back(track.name);
    return names;
}

std::string counted(std::size_t count, const std::string& what) { return std::to_string(count) + " " + what; }

// Same channels, sample format and track names: a choice made on one take
// applies to the other.
bool sameLayout(const PolyWavInfo& a, const PolyWavInfo& b) {
    return a.error.empty() && b.error.empty() && a.channels == b.channels && a.bitsPerSample == b.bitsPerSample &&
           a.isFloat == b.isFloat && trackNames(a) == trackNames(b);
}

std::string tooFewChannelsText() {
    return "Mono: a polyphonic file has at least " + std::to_string(kMinChannels) + " channels";
}

// One line per entry under a heading.
std::string listed(const std::string& heading, const std::vector<std::string>& lines) {
    std::string text = "\n\n" + heading;
    for (const std::string& line : lines) text += "\n" + line;
    return text;
}

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
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].error.empty()) filesByLayout[trackNames(files[i])].push_back(i);
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

bool isHandChoice(const PolyWavInfo& info, const TrackChoice& remove) { return remove != emptyTracksOf(info); }

void HandChoices::remember(const std::vector<PolyWavInfo>& files, const std::vector<TrackChoice>& choices) {
    for (std::size_t i = 0; i < files.size() && i < choices.size(); ++i) {
        if (isHandChoice(files[i], choices[i]))
            _byPath.insert_or_assign(files[i].path, std::pair{files[i], choices[i]});
        else
            _byPath.erase(files[i].path);
    }
}

std::vector<TrackChoice> HandChoices::choicesFor(const std::vector<PolyWavInfo>& files) const {
    std::vector<TrackChoice> choices;
    for (const PolyWavInfo& info : files) {
        const auto known = _byPath.find(info.path);
        const bool keep = known != _byPath.end() && sameLayout(known->second.first, info);
        choices.push_back(keep ? known->second.second : emptyTracksOf(info));
    }
    return choices;
}

std::vector<std::string> activeTracksRemoved(const PolyWavInfo& info, const TrackChoice& remove,
                                             const std::filesystem::path& folder) {
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < info.tracks.size() && k < remove.size(); ++k)
        if (remove[k] && !info.tracks[k].empty) lines.push_back(shownPath(info.path, folder) + ": " + info.tracks[k].name);
    return lines;
}

std::optional<std::filesystem::path> existingCopy(const std::filesystem::path& source, bool overwrite) {
    if (overwrite) return std::nullopt;
    const std::filesystem::path copy = compressOutputPath(source, false);
    std::error_code unknown;
    if (!std::filesystem::exists(std::filesystem::symlink_status(copy, unknown))) return std::nullopt;
    return copy;
}

std::string refusalText(const PolyWavInfo& info) {
    if (info.error.empty() && info.channels < kMinChannels) return tooFewChannelsText();
    return removalRefusal(info);
}

std::string shownPath(const std::filesystem::path& file, const std::filesystem::path& folder) {
    if (folder.empty()) return file.string();
    const std::filesystem::path within = file.lexically_relative(folder);
    if (within.empty() || *within.begin() == "..") return fileName(file);
    return within.string();
}

std::string summaryText(const PolyWavInfo& info, const std::filesystem::path& folder) {
    std::string line = info.summary();
    // The summary names the file first, or after the start timecode and two spaces.
    const std::string name = fileName(info.path);
    const std::size_t at = info.error.empty() && !info.timecode.empty() ? info.timecode.size() + 2 : 0;
    if (line.compare(at, name.size(), name) == 0) line.replace(at, name.size(), shownPath(info.path, folder));
    return line;
}

std::string clockText(double seconds) {
    const auto tenths = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0) * 10.0));
    const std::int64_t minutes = tenths / 600, hours = minutes / 60;
    char buffer[64];
    if (hours > 0)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes % 60), static_cast<long long>(tenths / 10 % 60),
                      static_cast<long long>(tenths % 10));
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld.%lld", static_cast<long long>(minutes),
                      static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return buffer;
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

std::string passedOverText(std::size_t passedOver, std::size_t found, bool recursive) {
    if (passedOver > 0) return " " + counted(passedOver, ".wav file(s) passed over.");
    if (found > 0) return {};
    return recursive ? " The folder holds no .wav files." : " The folder holds no .wav files (subfolders not included).";
}

std::string passedOverTitle(std::size_t passedOver) { return counted(passedOver, ".wav file(s) passed over"); }

std::string passedOverLine(const PassedOverFile& file, const std::filesystem::path& folder) {
    return shownPath(file.path, folder) + ": " + (file.error.empty() ? tooFewChannelsText() : file.error);
}

std::string stoppedText(std::int32_t analysed, std::int32_t total) {
    if (total == 0) return "Scan stopped.";
    return "Scan stopped after " + std::to_string(analysed) + " of " + std::to_string(total) + " files.";
}

std::string scanFailedText(const std::string& error) { return "Scan failed: " + error; }

std::string tracksOfText(const std::filesystem::path& file, const std::filesystem::path& folder) {
    return "Tracks of " + shownPath(file, folder);
}

std::string levelAtText(double seconds, double peak) { return "At " + clockText(seconds) + ": " + peakText(peak); }

std::string silenceLineText() {
    return "The dotted line is " + std::to_string(std::lround(kSilenceThresholdDb)) +
           " dBFS: a track whose peak stays below it is empty.";
}

std::string copyExistsText(const std::filesystem::path& copy, const std::filesystem::path& folder) {
    return shownPath(copy, folder) + " exists; --force replaces it";
}

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

std::string removalWarnings(const std::vector<std::string>& replacedCopies, const std::vector<std::string>& activeTracks) {
    std::string text;
    if (!replacedCopies.empty())
        text += listed(counted(replacedCopies.size(), "existing _SLIM file(s) will be replaced:"), replacedCopies);
    if (!activeTracks.empty())
        text += listed(counted(activeTracks.size(), "track(s) with signal will be removed:"), activeTracks);
    return text;
}

std::string removingText(std::size_t fileCount) {
    return "Removing empty tracks from " + std::to_string(fileCount) + " file(s)\u2026";
}

std::string successLine(const PolyWavInfo& info, const std::filesystem::path& written,
                        const std::filesystem::path& folder) {
    return shownPath(info.path, folder) + " \u2192 " + fileName(written) + " (" + std::to_string(info.emptyCount()) +
           " removed, " + std::to_string(info.activeCount()) + " kept)";
}

std::string errorLine(const PolyWavInfo& info, const std::string& message, const std::filesystem::path& folder) {
    return shownPath(info.path, folder) + ": " + message;
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
