// What both front ends share without any toolkit: the parameters they pass
// to the engine, the rules they apply to its results, and every text they
// show, so the window and the command line say the same thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
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

std::string notADirectoryText(const std::string& folder);
std::string scanningText(const std::string& folder);
std::string analyzingText(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
std::string foundText(const std::vector<PolyWavInfo>& results);
std::string scanFailedText(const std::string& error);

// The question before a removal, with or without replacing the originals.
std::string removalQuestion(std::size_t fileCount, bool overwrite);
std::string removingText(std::size_t fileCount);
std::string successLine(const PolyWavInfo& info, const std::filesystem::path& written);
std::string errorLine(const PolyWavInfo& info, const std::string& message);
std::string removalDoneText(std::int32_t done, std::int32_t failed);
// The report after a removal: its success section, then its error section.
std::string removalReport(const std::string& successLog, const std::string& errorLog);

}  // namespace quillon::ui
