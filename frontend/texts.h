// What both front ends share without any toolkit: the parameters they pass
// to the engine, the rules they apply to its results, and every text they
// show, so the window and the command line say the same thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quillon/quillon.h"

namespace quillon::ui {

// The fixed parameters that every front end passes to the engine.
inline constexpr double kSilenceThreshold = 0.001;
inline constexpr double kSilenceThresholdDb = -60.0;
inline constexpr std::int32_t kMinChannels = 2;

// The linear threshold of a level in dBFS (-60 gives kSilenceThreshold).
double thresholdFromDb(double db);

// A file worth listing as one that has empty tracks.
bool hasEmptyTracks(const PolyWavInfo& info);
// A file can be slimmed when it analysed, has an empty track and keeps one.
bool isRemovalCandidate(const PolyWavInfo& info);
std::int32_t filesWithEmptyTracks(const std::vector<PolyWavInfo>& results);

// Which tracks of a file are to be removed, one flag per track.
using TrackChoice = std::vector<bool>;
// The detector's choice: the empty tracks.
TrackChoice emptyTracksOf(const PolyWavInfo& info);
// A choice can be written when it removes a track and keeps one.
bool isWritableChoice(const TrackChoice& remove);
// The same layout across takes: among files with the same track names in the
// same order, a track is removed only where it is empty in every one of
// them. A file whose layout no other file shares keeps its choice.
std::vector<TrackChoice> keepTracksAlike(const std::vector<PolyWavInfo>& files, std::vector<TrackChoice> choices);
// The analysis with `remove` as its empty flags, for texts that count tracks.
PolyWavInfo withChoice(PolyWavInfo info, const TrackChoice& remove);
// A choice made by hand: one that differs from the detector's.
bool isHandChoice(const PolyWavInfo& info, const TrackChoice& remove);
// The hand choices made while the program runs, by file. A file that a later
// scan lists again with the same path and layout gets its choice back, also
// when a scan in between (a stopped one, another folder's) did not list it.
class HandChoices {
public:
    // Takes the choices of the files listed: hand choices are kept, a file
    // set back to the detector's choice is forgotten.
    void remember(const std::vector<PolyWavInfo>& files, const std::vector<TrackChoice>& choices);
    // The choices for a new scan's files: the remembered hand choice of a
    // file whose path and layout are unchanged, else the detector's.
    std::vector<TrackChoice> choicesFor(const std::vector<PolyWavInfo>& files) const;

private:
    std::map<std::filesystem::path, std::pair<PolyWavInfo, TrackChoice>> _byPath;
};
// "FILE: TRACK" for each track that `remove` takes although the detector
// found signal on it.
std::vector<std::string> activeTracksRemoved(const PolyWavInfo& info, const TrackChoice& remove,
                                             const std::filesystem::path& folder);
// The existing copy that a removal would replace: NAME_SLIM.ext beside the
// source when not overwriting, if it is there.
std::optional<std::filesystem::path> existingCopy(const std::filesystem::path& source, bool overwrite);
// Why a file is not written: too few channels, or the writer's refusal.
std::string refusalText(const PolyWavInfo& info);

// A file as the user knows it: its path within the scanned `folder`, or the
// path as given when there is no folder.
std::string shownPath(const std::filesystem::path& file, const std::filesystem::path& folder);
// summary() naming the file by its shown path.
std::string summaryText(const PolyWavInfo& info, const std::filesystem::path& folder);
// A time within a take, "1:05.2" (hours when there are any).
std::string clockText(double seconds);

// Fixed one-decimal notation, independent of the process locale.
std::string oneDecimal(double value);
// "-6.0 dB" for a linear peak, "-inf" for silence. A peak measured over part
// of the take only is a lower bound of the take's: "≥ -6.0 dB".
std::string peakText(double peak, bool coversTake = true);
std::string trackStateText(const TrackInfo& track);
// The caption under the track table: counts, depth and rate, or the error.
std::string captionText(const PolyWavInfo& info);

inline constexpr const char* kAppName = "Quillon";
inline constexpr const char* kStartStatus = "Choose a directory to scan for polyphonic WAV files.";
inline constexpr const char* kPathPlaceholder = "Choose a directory with polyphonic WAV files\u2026";
inline constexpr const char* kChooseFolderTitle = "Select folder with polyphonic WAV files";
inline constexpr const char* kChooseDirectoryFirst = "Choose a directory first.";
inline constexpr const char* kSelectFiles = "Select one or more files.";
inline constexpr const char* kNoFilesWithEmptyTracks = "No files with empty tracks.";
inline constexpr const char* kNoCandidates =
    "None of the selected files have empty tracks to remove (or all tracks are empty).";
inline constexpr const char* kRemovalTitle = "Remove Empty Tracks";
inline constexpr const char* kRemovalCompleteTitle = "Remove Empty Tracks complete";
inline constexpr const char* kOverwriteButton = "Overwrite";
inline constexpr const char* kCancelButton = "Cancel";
inline constexpr const char* kStopping = "Stopping the scan\u2026";
inline constexpr const char* kReadingLevels = "Level over the take: reading the file\u2026";

std::string notADirectoryText(const std::string& folder);
std::string scanningText(const std::string& folder);
std::string analyzingText(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
std::string foundText(const std::vector<PolyWavInfo>& results);
// What follows foundText: how many .wav files were passed over, or, when
// the folder had none at all, that it has none.
std::string passedOverText(std::size_t passedOver, std::size_t found, bool recursive);
// The title over the list of passed-over files, and one line per file.
std::string passedOverTitle(std::size_t passedOver);
std::string passedOverLine(const PassedOverFile& file, const std::filesystem::path& folder);
std::string stoppedText(std::int32_t analysed, std::int32_t total);
std::string scanFailedText(const std::string& error);
std::string tracksOfText(const std::filesystem::path& file, const std::filesystem::path& folder);
std::string levelAtText(double seconds, double peak);
// What the dotted line of a level strip means.
std::string silenceLineText();
std::string copyExistsText(const std::filesystem::path& copy, const std::filesystem::path& folder);

// The question before a removal, with or without replacing the originals.
std::string removalQuestion(std::size_t fileCount, bool overwrite);
// What the question adds when copies would be replaced or tracks with signal
// removed: each listed on a line of its own.
std::string removalWarnings(const std::vector<std::string>& replacedCopies, const std::vector<std::string>& activeTracks);
std::string removingText(std::size_t fileCount);
// Lines of the report; the source is named by its shown path.
std::string successLine(const PolyWavInfo& info, const std::filesystem::path& written,
                        const std::filesystem::path& folder);
std::string errorLine(const PolyWavInfo& info, const std::string& message, const std::filesystem::path& folder);
std::string removalDoneText(std::int32_t done, std::int32_t failed);
// The report after a removal: its success section, then its error section.
std::string removalReport(const std::string& successLog, const std::string& errorLog);

}  // namespace quillon::ui
