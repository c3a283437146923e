// Recorder metadata: the start timecode from the bext time reference or the
// iXML time stamp, and the track names from the iXML track list.
#pragma once

#include <cstdint>
#include <functional>
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
    // Samples per second of the time reference; 0: the file's sample rate.
    std::uint64_t timeReferenceRate = 0;
};

// Reads TIMECODE_RATE, TIMECODE_FLAG and the TIMESTAMP_SAMPLES_SINCE_MIDNIGHT
// pair with its TIMESTAMP_SAMPLE_RATE from `ixml` into `source`. Never throws
// for bad metadata: what cannot be read leaves the earlier values in place.
void readTimecodeMetadata(std::string_view ixml, TimecodeSource& source);

// The SMPTE label of the frame holding the first sample, "hh:mm:ss:ff"
// (";" before the frames for drop-frame); empty without a time reference or
// with a sample rate of 0 or below.
std::string formatStartTimecode(const TimecodeSource& source, std::int32_t sampleRate);

// Exactly `channels` names: "Track N" defaults, replaced where the iXML
// track list names a channel.
std::vector<std::string> readTrackNames(std::string_view ixml, std::int32_t channels);

// Which channel each TRACK element of the first TRACK_LIST (of the whole
// text without one) describes, for the naming and the rewrite of the list
// alike: its INTERLEAVE_INDEX, its position in the file, or without one its
// CHANNEL_INDEX, when that lies in 1..channels; otherwise its position in
// the list. `visit` gets each element's text, "<TRACK" to "</TRACK>", and
// the 0-based channel, which names none when not below `channels`. At most
// channels + 9 elements are visited, none after an index too large to read.
void forEachTrackElement(std::string_view ixml, std::size_t channels,
                         const std::function<void(std::string_view element, std::size_t channel)>& visit);

// An XML chunk's text is an iXML document when it has a BWFXML root or a
// track list; an EBU/ADM document in `axml` is not.
bool isIxmlDocument(std::string_view xml);

}  // namespace quillon::detail
