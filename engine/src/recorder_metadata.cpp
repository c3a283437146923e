#include "recorder_metadata.h"

#include "tag_matching.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <new>
#include <optional>

namespace quillon::detail {
namespace {

__extension__ typedef unsigned __int128 Uint128;

// Parses a run of decimal digits; nullopt when the number does not fit.
template <typename Number>
std::optional<Number> parseDecimal(std::string_view digits) {
    Number value{};
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// Reads the TIMECODE_RATE fraction; false when a number does not fit.
bool readRate(std::string_view ixml, TimecodeSource& source) {
    const std::optional<RateDigits> rate = searchRateElement(ixml);
    if (!rate) {
        return true;
    }
    const std::optional<std::uint64_t> numerator = parseDecimal<std::uint64_t>(rate->numerator);
    if (!numerator) {
        return false;
    }
    std::uint64_t denominator = 1;
    if (rate->denominator) {
        const std::optional<std::uint64_t> parsed = parseDecimal<std::uint64_t>(*rate->denominator);
        if (!parsed) {
            return false;
        }
        denominator = *parsed;
    }
    if (*numerator > 0 && denominator > 0) {
        source.rateNumerator = *numerator;
        source.rateDenominator = denominator;
    }
    return true;
}

// Reads the samples-since-midnight pair; a number that does not fit leaves
// the time reference as it was.
void readTimeStamp(std::string_view ixml, TimecodeSource& source) {
    const std::optional<std::string_view> low = searchNumberElement(ixml, "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO");
    std::optional<std::uint64_t> lowBits;
    if (low) {
        lowBits = parseDecimal<std::uint64_t>(*low);
        if (!lowBits) {
            return;
        }
    }
    std::uint64_t highBits = 0;
    if (const std::optional<std::string_view> high = searchNumberElement(ixml, "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI")) {
        const std::optional<std::uint64_t> parsed = parseDecimal<std::uint64_t>(*high);
        if (!parsed) {
            return;
        }
        highBits = *parsed;
    }
    if (lowBits) {
        source.timeReference = (highBits << 32) | *lowBits;
        source.hasTimeReference = true;
        // Copies made at another rate (pulled up or down, converted) keep the
        // stamp of the original, counted at its rate.
        const std::optional<std::string_view> rate = searchNumberElement(ixml, "TIMESTAMP_SAMPLE_RATE");
        source.timeReferenceRate = rate ? parseDecimal<std::uint64_t>(*rate).value_or(0) : 0;
    }
}

// num/den rounded half up: the frame count of one timecode second.
Uint128 nominalFrameRate(const TimecodeSource& source) {
    if (source.rateDenominator == 0) {
        return 0;
    }
    const Uint128 numerator = source.rateNumerator;
    const Uint128 denominator = source.rateDenominator;
    return (2 * numerator + denominator) / (2 * denominator);
}

// The non-drop frame count that carries the drop-frame label of `frame`:
// the first two (at 60 fps four) labels of every minute are skipped, except
// in minutes divisible by ten.
Uint128 dropFrameLabelCount(Uint128 frame, Uint128 nominalRate) {
    const Uint128 dropped = nominalRate / 15;
    const Uint128 framesPerMinute = nominalRate * 60 - dropped;
    const Uint128 framesPerTenMinutes = nominalRate * 600 - 9 * dropped;
    const Uint128 tenMinuteBlocks = frame / framesPerTenMinutes;
    const Uint128 inBlock = frame % framesPerTenMinutes;
    Uint128 label = frame + 9 * dropped * tenMinuteBlocks;
    if (inBlock > dropped) {
        label += dropped * ((inBlock - dropped) / framesPerMinute);
    }
    return label;
}

unsigned long long toULL(Uint128 value) {
    return static_cast<unsigned long long>(value);
}

std::vector<std::string> defaultTrackNames(std::int32_t channels) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(std::max(channels, std::int32_t{0})));
    for (std::int32_t channel = 1; channel <= channels; ++channel) {
        names.push_back("Track " + std::to_string(channel));
    }
    return names;
}

// Only these four count as white space around a track name.
std::string_view stripName(std::string_view name) {
    constexpr std::string_view blanks = " \t\n\r";
    const std::size_t first = name.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return name.substr(first, name.find_last_not_of(blanks) - first + 1);
}

struct TrackIndex {
    bool readable = true;  // false when the number does not fit a signed 32-bit value
    std::optional<std::int32_t> value;
};

// INTERLEAVE_INDEX is the position in the file; CHANNEL_INDEX may be the
// recorder's track number (tracks 1, 2 and 5 recorded into 3 channels).
TrackIndex readTrackIndex(std::string_view track) {
    std::optional<std::string_view> index = searchNumberElement(track, "INTERLEAVE_INDEX");
    if (!index) {
        index = searchNumberElement(track, "CHANNEL_INDEX");
    }
    if (!index) {
        return {};
    }
    const std::optional<std::int32_t> value = parseDecimal<std::int32_t>(*index);
    return {value.has_value(), value};
}

std::string_view trackListSection(std::string_view ixml) {
    const std::optional<ElementSpan> list = searchElement(ixml, "TRACK_LIST");
    return list ? ixml.substr(list->begin, list->end - list->begin) : ixml;
}

}  // namespace

void forEachTrackElement(std::string_view ixml, std::size_t channels,
                         const std::function<void(std::string_view element, std::size_t channel)>& visit) {
    const std::string_view section = trackListSection(ixml);
    const std::size_t lastExamined = channels + 8;
    std::size_t position = 0;
    for (std::optional<ElementSpan> track = searchElement(section, "TRACK"); track;
         track = searchElement(section, "TRACK", track->end), ++position) {
        const std::string_view element = section.substr(track->begin, track->end - track->begin);
        const TrackIndex index = readTrackIndex(element);
        if (!index.readable) {
            return;
        }
        const bool indexInRange = index.value && *index.value >= 1 && static_cast<std::size_t>(*index.value) <= channels;
        visit(element, indexInRange ? static_cast<std::size_t>(*index.value) - 1 : position);
        if (position == lastExamined) {
            return;
        }
    }
}

bool isIxmlDocument(std::string_view xml) {
    return containsOpenTag(xml, "BWFXML") || searchElement(xml, "TRACK_LIST").has_value();
}

void readTimecodeMetadata(std::string_view ixml, TimecodeSource& source) {
    // A number that does not fit ends the reading; what was set before stays.
    if (!readRate(ixml, source)) {
        return;
    }
    if (containsElementValue(ixml, "TIMECODE_FLAG", "DF")) {
        source.dropFrame = true;
    }
    readTimeStamp(ixml, source);
}

std::string formatStartTimecode(const TimecodeSource& source, std::int32_t sampleRate) {
    if (!source.hasTimeReference || sampleRate <= 0) {
        return {};
    }
    const Uint128 nominalRate = nominalFrameRate(source);
    if (nominalRate == 0) {
        return {};
    }
    // Exact: the frame that holds the first sample, never rounded up into the next one.
    const Uint128 samplesPerSecond =
        source.timeReferenceRate > 0 ? source.timeReferenceRate : static_cast<std::uint32_t>(sampleRate);
    const Uint128 frame = Uint128{source.timeReference} * source.rateNumerator / (samplesPerSecond * source.rateDenominator);
    const bool dropFrame = source.dropFrame && (nominalRate == 30 || nominalRate == 60);
    const Uint128 label = dropFrame ? dropFrameLabelCount(frame, nominalRate) : frame;
    const Uint128 totalSeconds = label / nominalRate;

    char text[64];
    const int length = std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu%c%02llu",
                                     toULL(totalSeconds / 3600 % 100), toULL(totalSeconds / 60 % 60),
                                     toULL(totalSeconds % 60), dropFrame ? ';' : ':', toULL(label % nominalRate));
    return std::string(text, static_cast<std::size_t>(length));
}

std::vector<std::string> readTrackNames(std::string_view ixml, std::int32_t channels) {
    std::vector<std::string> names = defaultTrackNames(channels);
    if (ixml.empty()) {
        return names;
    }
    try {
        // A later element for the same channel replaces the name; a blank
        // name leaves it.
        forEachTrackElement(ixml, names.size(), [&](std::string_view element, std::size_t channel) {
            const std::optional<std::string_view> name = searchElementText(element, "NAME");
            const std::string_view stripped = name ? stripName(*name) : std::string_view{};
            if (!stripped.empty() && channel < names.size()) {
                names[channel] = std::string(stripped);
            }
        });
    } catch (const std::bad_alloc&) {
        // Metadata never fails the analysis: out of memory while naming keeps
        // the names placed so far.
    }
    return names;
}

}  // namespace quillon::detail
