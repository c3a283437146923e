// The engine's fixed user-facing texts, defined once.
#pragma once

namespace quillon::detail::msg {

// Container reader refusals, in the order they are tested.
inline constexpr const char* couldNotOpenFile = "Could not open file";
inline constexpr const char* notRiffWave = "Not a RIFF/WAVE file";
inline constexpr const char* invalidFmtChunk = "Invalid fmt chunk";
inline constexpr const char* missingFmtOrData = "Missing fmt or data chunk";
inline constexpr const char* invalidFormat = "Invalid format";
inline constexpr const char* unsupportedFormat = "Unsupported WAV format (need PCM or IEEE float)";
inline constexpr const char* unsupportedBitDepth = "Unsupported bit depth";

// Writer refusals.
inline constexpr const char* noEmptyTracks = "No empty tracks to remove";
inline constexpr const char* allTracksEmpty = "All tracks are empty \xE2\x80\x94 nothing to keep";
inline constexpr const char* couldNotCreateOutput = "Could not create output file";
inline constexpr const char* couldNotWriteOutput = "Could not write output file";
inline constexpr const char* couldNotReadSource = "Could not read source file";
inline constexpr const char* admNotChanged = "ADM files are not changed";
inline constexpr const char* fileChanged = "The file has changed since it was scanned; scan it again";

}  // namespace quillon::detail::msg
