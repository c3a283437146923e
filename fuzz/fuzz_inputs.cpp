// Writes starting inputs for the fuzz targets: WAV files in every accepted
// format and layout the tests use, and iXML texts with timecode and tracks.
#include <fstream>

#include "wav_builder.h"

using namespace quillon::testing;

namespace {

void save(const std::filesystem::path& path, const std::string& bytes) { writeFile(path, bytes); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::filesystem::path files = argv[1];
    const std::filesystem::path ixml = argv[2];
    const std::string trackList =
        "<BWFXML><SPEED><TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>"
        "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>2880000</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>"
        "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI>0</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI></SPEED>"
        "<TRACK_LIST><TRACK_COUNT>3</TRACK_COUNT><TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>"
        "<TRACK><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME> Lav 1 </NAME></TRACK><TRACK><NAME>Lav 2</NAME></TRACK>"
        "</TRACK_LIST></BWFXML>";
    save(ixml / "tracks.xml", std::string("\x03\x00\x80\xBB\x00\x01", 6) + trackList);

    const ChannelSamples loudQuiet{{1000, -2000, 3000, 32767}, {0, 0, 1, 0}, {-32768, 5, 0, 7}};
    save(files / "pcm16.wav", WavBuilder()
                                  .chunk("bext", bextPayload(172800000))
                                  .fmt({.channels = 3, .bitsPerSample = 16})
                                  .data(pcmFrames(16, loudQuiet))
                                  .chunk("iXML", trackList)
                                  .bytes());
    save(files / "pcm24_odd.wav", WavBuilder()
                                      .chunk("JUNK", "abc")
                                      .fmt({.channels = 3, .bitsPerSample = 24})
                                      .data(pcmFrames(24, {{1, 8388607, -8388608}, {0, 0, 0}, {5, 6, 7}}))
                                      .chunk("ond2", "x")
                                      .bytes());
    save(files / "pcm32_ext.wav", WavBuilder()
                                      .fmt({.formatTag = 0xFFFE, .channels = 4, .bitsPerSample = 32, .subFormat = 1})
                                      .data(pcmFrames(32, {{1 << 30, 0}, {0, 0}, {-(1LL << 31), 1}, {0, 0}}))
                                      .bytes());
    save(files / "float.wav", WavBuilder()
                                  .fmt({.formatTag = 3, .channels = 2, .bitsPerSample = 32})
                                  .data(floatFrames({{0.5f, -1.5f}, {0.0f, 0.0f}}))
                                  .chunk("axml", "<BWFXML></BWFXML>")
                                  .bytes());
    return 0;
}
