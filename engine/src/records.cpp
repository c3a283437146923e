#include <algorithm>
#include <charconv>
#include <string>

#include "quillon/quillon.h"

namespace quillon {
namespace {

constexpr const char* kSeparator = "  \xE2\x80\x94  ";  // two spaces, EM DASH, two spaces

// Fixed notation with one decimal, independent of the process locale.
std::string oneDecimal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return {buffer, result.ptr};
}

}  // namespace

std::int32_t PolyWavInfo::activeCount() const {
    return static_cast<std::int32_t>(std::count_if(tracks.begin(), tracks.end(), [](const TrackInfo& t) { return !t.empty; }));
}

std::int32_t PolyWavInfo::emptyCount() const {
    return static_cast<std::int32_t>(std::count_if(tracks.begin(), tracks.end(), [](const TrackInfo& t) { return t.empty; }));
}

std::string PolyWavInfo::summary() const {
    const std::string fileName = path.filename().string();
    if (!error.empty()) return fileName + kSeparator + "error: " + error;

    std::string line;
    if (!timecode.empty()) line += timecode + "  ";
    line += fileName + kSeparator;
    line += std::to_string(channels) + " tracks (" + std::to_string(activeCount()) + " active, " +
            std::to_string(emptyCount()) + " empty)  ";
    line += std::to_string(sampleRate) + " Hz  " + oneDecimal(duration) + "s";
    return line;
}

}  // namespace quillon
