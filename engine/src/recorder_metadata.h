// Recorder metadata: the start timecode from the bext time reference or the
// iXML time stamp, and the track names from the iXML track list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::detail {

// What the timecode is computed from. Starts from the bext time reference
// that the container reader found; the iXML may replace it.
struct TimecodeSource {
    std::uint64_t timeReference = 0;
    bool hasTimeReference = false;
    std::uint64_t rateNumerator = 24;
    std::uint64_t rateDenominator = 1;
    bool dropFrame = false;
};

// Reads TIMECODE_RATE, TIMECODE_FLAG and the TIMESTAMP_SAMPLES_SINCE_MIDNIGHT
// pair from `ixml` into `source`. Never throws for bad metadata: what cannot
// be read leaves the earlier values in place.
void readTimecodeMetadata(std::string_view ixml, TimecodeSource& source);

// The SMPTE label of the frame holding the first sample, "hh:mm:ss:ff"
// (";" before the frames for drop-frame); empty without a time reference or
// with a sample rate of 0 or below.
std::string formatStartTimecode(const TimecodeSource& source, std::int32_t sampleRate);

// Exactly `channels` names: "Track N" defaults, replaced where the iXML
// track list names a channel.
std::vector<std::string> readTrackNames(std::string_view ixml, std::int32_t channels);

}  // namespace quillon::detail
