// The texts that both front ends show for scan and removal results, built
// without any toolkit so the window and the command line say the same thing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quillon/quillon.h"

namespace quillon::ui {

// The fixed parameters that every front end passes to the engine.
inline constexpr double kSilenceThreshold = 0.001;
inline constexpr std::int32_t kMinChannels = 2;

// "-6.0 dB" for a linear peak, "-inf" for silence; independent of the locale.
std::string peakText(double peak);
std::string trackStateText(const TrackInfo& track);
// The caption under the track table: counts, depth and rate, or the error.
std::string captionText(const PolyWavInfo& info);

std::string analyzingText(std::int32_t fileNumber, std::int32_t fileCount, const std::filesystem::path& path);
std::int32_t filesWithEmptyTracks(const std::vector<PolyWavInfo>& results);
std::string foundText(const std::vector<PolyWavInfo>& results);
std::string scanFailedText(const std::string& error);

// A file can be slimmed when it analysed, has an empty track and keeps one.
bool isRemovalCandidate(const PolyWavInfo& info);
std::string successLine(const PolyWavInfo& info, const std::filesystem::path& written);
std::string errorLine(const PolyWavInfo& info, const std::string& message);
std::string removalDoneText(std::int32_t done, std::int32_t failed);

}  // namespace quillon::ui
