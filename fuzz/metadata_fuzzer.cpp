// Any iXML text and channel count: the timecode and names are read without
// failing, and exactly one name per channel comes back.
#include <cstdlib>
#include <string_view>

#include "recorder_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const std::int32_t channels = data[0] | (data[1] << 8);
    const std::int32_t sampleRate = static_cast<std::int32_t>(data[2] | (data[3] << 8) | (data[4] << 16)) * (data[5] & 1 ? 1 : -1);
    const std::string_view ixml(reinterpret_cast<const char*>(data + 6), size - 6);

    quillon::detail::TimecodeSource source;
    source.hasTimeReference = true;
    source.timeReference = size * 48000u;
    quillon::detail::readTimecodeMetadata(ixml, source);
    const std::string timecode = quillon::detail::formatStartTimecode(source, sampleRate);
    if (!timecode.empty() && timecode.size() < 11) std::abort();
    if (quillon::detail::readTrackNames(ixml, channels).size() != static_cast<std::size_t>(channels)) std::abort();
    return 0;
}
