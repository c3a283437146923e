#include "recorder_metadata.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quillon::detail {
namespace {

constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

// ---- Naming ---------------------------------------------------------------

std::string element(const std::string& tag, const std::string& text) {
    return "<" + tag + ">" + text + "</" + tag + ">";
}

std::string channelIndex(const std::string& index) {
    return element("CHANNEL_INDEX", index);
}

std::string interleaveIndex(const std::string& index) {
    return element("INTERLEAVE_INDEX", index);
}

std::string name(const std::string& text) {
    return element("NAME", text);
}

std::string track(const std::string& inner) {
    return "  <TRACK>" + inner + "<FUNCTION>SINGLE</FUNCTION></TRACK>\n";
}

std::string indexedTrack(int index, const std::string& trackName) {
    return track(channelIndex(std::to_string(index)) + interleaveIndex(std::to_string(index)) + name(trackName));
}

std::string trackList(const std::string& tracks) {
    return "<TRACK_LIST>\n" + tracks + "</TRACK_LIST>\n";
}

std::string document(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n<PROJECT>P</PROJECT>\n" + body + "</BWFXML>\n";
}

std::vector<std::string> defaults(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        names.push_back("Track " + std::to_string(i));
    }
    return names;
}

std::vector<std::string> defaultsWith(int count, std::size_t slot, const std::string& trackName) {
    std::vector<std::string> names = defaults(count);
    names[slot] = trackName;
    return names;
}

std::string repeated(int count, const std::string& text) {
    std::string result;
    for (int i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

std::string tracksNamedByPosition(int count) {
    std::string tracks;
    for (int i = 0; i < count; ++i) {
        tracks += track(name("Pos " + std::to_string(i)));
    }
    return tracks;
}

struct NamingCase {
    std::string label;
    std::string ixml;
    std::int32_t channels;
    std::vector<std::string> expected;
};

std::vector<NamingCase> namingCases() {
    std::string reversed;
    for (int index = 8; index >= 1; --index) {
        reversed += indexedTrack(index, "Mic " + std::to_string(index));
    }
    std::vector<std::string> micNames;
    for (int index = 1; index <= 8; ++index) {
        micNames.push_back("Mic " + std::to_string(index));
    }
    return {
        {"no iXML gives the defaults", "", 3, defaults(3)},
        {"no channels gives no names", document(trackList(indexedTrack(1, "Boom"))), 0, {}},
        {"mono without iXML", "", 1, {"Track 1"}},
        {"mono keeps its one name", document(trackList(indexedTrack(1, "Boom") + indexedTrack(2, "Lav"))), 1,
         {"Boom"}},
        {"names follow the index, not the element order", document(trackList(reversed)), 8, micNames},
        {"CHANNEL_INDEX wins over INTERLEAVE_INDEX",
         document(trackList(track(interleaveIndex("5") + channelIndex("3") + name("Boom")))), 8,
         defaultsWith(8, 2, "Boom")},
        {"INTERLEAVE_INDEX alone", document(trackList(track(interleaveIndex("2") + name("Lav")))), 2,
         {"Track 1", "Lav"}},
        {"an index beyond the channels uses the position",
         document(trackList(track("") + track("") + track(channelIndex("12") + name("Far")))), 8,
         defaultsWith(8, 2, "Far")},
        {"index 0 uses the position",
         document(trackList(track("") + track("") + track(channelIndex("0") + name("Zero")))), 8,
         defaultsWith(8, 2, "Zero")},
        {"a position beyond the channels names nothing",
         document(trackList(repeated(9, track("")) + track(name("Ninth")))), 8, defaults(8)},
        {"at most N + 9 elements are examined",
         document(trackList(repeated(16, track("")) + indexedTrack(3, "Seen") + indexedTrack(4, "Unseen"))), 8,
         defaultsWith(8, 2, "Seen")},
        {"20 elements without index name the first 8 positions", document(trackList(tracksNamedByPosition(20))), 8,
         {"Pos 0", "Pos 1", "Pos 2", "Pos 3", "Pos 4", "Pos 5", "Pos 6", "Pos 7"}},
        {"only space, tab, line feed and carriage return are stripped",
         document(trackList(indexedTrack(1, "  Boom 1 \n") + indexedTrack(2, "\r\n\tBoom  2\t") +
                            indexedTrack(3, "\vLav\f") + indexedTrack(4, "Line\nbreak"))),
         4, {"Boom 1", "Boom  2", "\vLav\f", "Line\nbreak"}},
        {"blank names keep the defaults", document(trackList(indexedTrack(1, " \t\r\n ") + indexedTrack(2, ""))), 2,
         defaults(2)},
        {"an element without NAME keeps the default", document(trackList(track(channelIndex("1")))), 1, {"Track 1"}},
        {"the later of two elements for one channel wins",
         document(trackList(indexedTrack(2, "Early") + indexedTrack(2, "Late"))), 2, {"Track 1", "Late"}},
        {"names are taken raw", document(trackList(indexedTrack(1, "A &amp; B <![CDATA[x]]>"))), 1,
         {"A &amp; B <![CDATA[x]]>"}},
        {"lower-case tags count",
         document("<track_list><track><channel_index>2</channel_index><name>low</name></track></track_list>"), 2,
         {"Track 1", "low"}},
        {"TRACK may carry attributes, CHANNEL_INDEX may not",
         document(trackList("<TRACK id=\"7\"><CHANNEL_INDEX type=\"x\">3</CHANNEL_INDEX><NAME>Attr</NAME></TRACK>")), 3,
         {"Attr", "Track 2", "Track 3"}},
        {"an attributed CHANNEL_INDEX leaves INTERLEAVE_INDEX",
         document(trackList(track("<CHANNEL_INDEX type=\"x\">3</CHANNEL_INDEX>" + interleaveIndex("2") + name("IL")))),
         3, {"Track 1", "IL", "Track 3"}},
        {"an index with white space and leading zeros",
         document(trackList(track(channelIndex(" 02\n") + name("Two")))), 2, {"Track 1", "Two"}},
        {"a decimal index is no index", document(trackList(track(channelIndex("2.0") + name("Dec")))), 2,
         {"Dec", "Track 2"}},
        {"without TRACK_LIST the tracks anywhere are read",
         document("<A>" + indexedTrack(2, "B") + "</A>" + indexedTrack(1, "A")), 2, {"A", "B"}},
        {"only the first of two TRACK_LIST elements is read",
         document(trackList(indexedTrack(1, "First")) + trackList(indexedTrack(2, "Second"))), 2,
         {"First", "Track 2"}},
        {"a TRACK_LIST without closing tag leaves the whole text",
         document("<TRACK_LIST>" + indexedTrack(1, "Inside")) + indexedTrack(2, "Outside"), 2, {"Inside", "Outside"}},
        {"TRACK_COUNT does not open a TRACK",
         document(trackList("<TRACK_COUNT>2</TRACK_COUNT><NAME>Stray</NAME>" + indexedTrack(2, "B"))), 2,
         {"Track 1", "B"}},
        {"an index that overflows ends the walk",
         document(trackList(indexedTrack(1, "A") + track(channelIndex("2147483648") + name("B")) +
                            indexedTrack(3, "C"))),
         3, {"A", "Track 2", "Track 3"}},
        {"an overflowing CHANNEL_INDEX ends the walk despite INTERLEAVE_INDEX",
         document(trackList(track(channelIndex("99999999999") + interleaveIndex("1") + name("A")))), 1, {"Track 1"}},
        {"an overflowing INTERLEAVE_INDEX ends the walk",
         document(trackList(indexedTrack(1, "A") + track(interleaveIndex("4294967296") + name("B")) +
                            indexedTrack(2, "C"))),
         2, {"A", "Track 2"}},
        {"the largest index is out of range, not an overflow",
         document(trackList(track(channelIndex("2147483647") + name("Max")) + indexedTrack(2, "B"))), 2,
         {"Max", "B"}},
    };
}

TEST(RecorderMetadataTest, TrackNames) {
    for (const NamingCase& c : namingCases()) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(readTrackNames(c.ixml, c.channels), c.expected);
    }
}

// ---- Start timecode -------------------------------------------------------

TimecodeSource at(std::uint64_t timeReference, std::uint64_t numerator = 24, std::uint64_t denominator = 1,
                  bool dropFrame = false) {
    return {timeReference, true, numerator, denominator, dropFrame};
}

constexpr std::uint64_t kSecond48k = 48000;

struct FormatCase {
    std::string label;
    TimecodeSource source;
    std::int32_t sampleRate;
    std::string expected;
};

TEST(RecorderMetadataTest, StartTimecodeLabelsTheFirstSamplesFrame) {
    const std::vector<FormatCase> cases = {
        {"recorder file at 23.976 non-drop", at(2190940753, 24000, 1001), 48000, "12:39:59:00"},
        {"workstation export at 23.976 non-drop", at(2191709524, 24000, 1001), 48000, "12:40:15:00"},
        {"half a second at 24 fps is frame 12", at(37230 * kSecond48k + 24000), 48000, "10:20:30:12"},
        {"half a second at 25/1 is frame 12", at(37230 * kSecond48k + 24000, 25, 1), 48000, "10:20:30:12"},
        {"0.99 s at 30000/1001 is frame 29", at(47520, 30000, 1001), 48000, "00:00:00:29"},
        {"drop-frame after 60 s of real time", at(60 * kSecond48k, 30000, 1001, true), 48000, "00:00:59;28"},
        {"drop-frame after 600 s", at(600 * kSecond48k, 30000, 1001, true), 48000, "00:10:00;00"},
        {"drop-frame after 3600 s", at(3600 * kSecond48k, 30000, 1001, true), 48000, "01:00:00;00"},
        {"drop-frame count 1799", at(1799 * 1001, 30000, 1001, true), 30000, "00:00:59;29"},
        {"drop-frame count 1800 skips two labels", at(1800 * 1001, 30000, 1001, true), 30000, "00:01:00;02"},
        {"drop-frame last count of ten minutes", at(17981 * 1001, 30000, 1001, true), 30000, "00:09:59;29"},
        {"drop-frame at 59.94 skips four labels", at(3600 * 1001, 60000, 1001, true), 60000, "00:01:00;04"},
        {"drop-frame at 59.94 after ten minutes", at(35964 * 1001, 60000, 1001, true), 60000, "00:10:00;00"},
        {"drop flag ignored at 23.976", at(2190940753, 24000, 1001, true), 48000, "12:39:59:00"},
        {"drop flag ignored at 25", at(61 * kSecond48k, 25, 1, true), 48000, "00:01:01:00"},
        {"drop flag ignored at 50", at(61 * kSecond48k, 50, 1, true), 48000, "00:01:01:00"},
        {"non-drop 29.97 counts plainly", at(1800 * 1001, 30000, 1001), 30000, "00:01:00:00"},
        {"time reference 0", at(0), 48000, "00:00:00:00"},
        {"100 hours wrap to 0", at(100 * 3600 * kSecond48k), 48000, "00:00:00:00"},
        {"hours are taken modulo 100", at((123 * 3600 + 4 * 60 + 5) * kSecond48k), 48000, "23:04:05:00"},
        {"sample rate 0", at(kSecond48k), 0, ""},
        {"negative sample rate", at(kSecond48k), -48000, ""},
        {"no time reference", TimecodeSource{}, 48000, ""},
        {"a rate that rounds to 0 frames", at(kSecond48k, 1, 3), 48000, ""},
        {"zero denominator", at(kSecond48k, 24, 0), 48000, ""},
        {"a rate of 1/2 rounds to 1 frame", at(5 * kSecond48k, 1, 2), 48000, "00:00:02:00"},
        {"frames take more digits when needed", at(47999, 120, 1), 48000, "00:00:00:119"},
        {"the largest time reference", at(kMaxU64), 48000, "67:18:02:07"},
        {"the largest time reference and rate", at(kMaxU64, kMaxU64, 1), 48000, "67:18:02:6000956431478638509"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(formatStartTimecode(c.source, c.sampleRate), c.expected);
    }
}

TimecodeSource bext(std::uint64_t timeReference) {
    return at(timeReference);
}

TimecodeSource withRate(TimecodeSource source, std::uint64_t numerator, std::uint64_t denominator) {
    source.rateNumerator = numerator;
    source.rateDenominator = denominator;
    return source;
}

TimecodeSource withDropFrame(TimecodeSource source) {
    source.dropFrame = true;
    return source;
}

std::string rate(const std::string& text) {
    return element("TIMECODE_RATE", text);
}

std::string low(const std::string& digits) {
    return element("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", digits);
}

std::string high(const std::string& digits) {
    return element("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", digits);
}

const std::string kTooLarge = "18446744073709551616";

struct ReadCase {
    std::string label;
    std::string ixml;
    TimecodeSource before;
    TimecodeSource expected;
};

TEST(RecorderMetadataTest, TimecodeMetadata) {
    const TimecodeSource none;
    const std::vector<ReadCase> cases = {
        {"25/1", rate("25/1"), none, withRate(none, 25, 1)},
        {"lower case with white space", "<timecode_rate> 25 </timecode_rate>", none, withRate(none, 25, 1)},
        {"30000/1001", rate("30000/1001"), none, withRate(none, 30000, 1001)},
        {"a decimal fraction is not read", rate("29.97"), none, none},
        {"rate 0", rate("0"), none, none},
        {"denominator 0", rate("30/0"), none, none},
        {"numerator 0", rate("0/1001"), none, none},
        {"a malformed rate is passed over", rate("29.97") + rate("25"), none, withRate(none, 25, 1)},
        {"the first well-formed rate counts", rate("24000/1001") + rate("25"), none, withRate(none, 24000, 1001)},
        {"an attributed rate is not read", "<TIMECODE_RATE x=\"1\">25</TIMECODE_RATE>", none, none},
        {"the largest numerator", rate("18446744073709551615/1"), none, withRate(none, kMaxU64, 1)},
        {"an overflowing numerator ends the reading",
         rate(kTooLarge + "/1") + "<TIMECODE_FLAG>DF</TIMECODE_FLAG>" + low("5"), bext(1000), bext(1000)},
        {"an overflowing denominator ends the reading", rate("30/" + kTooLarge) + low("5"), bext(1000), bext(1000)},
        {"drop-frame flag", "<TIMECODE_FLAG>DF</TIMECODE_FLAG>", none, withDropFrame(none)},
        {"drop-frame flag in any case with white space", "<timecode_flag>\n df\t</Timecode_Flag>", none,
         withDropFrame(none)},
        {"non-drop flag", "<TIMECODE_FLAG>NDF</TIMECODE_FLAG>", none, none},
        {"an attributed flag is not read", "<TIMECODE_FLAG a=\"b\">DF</TIMECODE_FLAG>", none, none},
        {"LO replaces the bext value", low("2190940753") + high("0000000000"), bext(1000), bext(2190940753)},
        {"LO alone gives a time reference", low("5"), none, at(5)},
        {"HI alone changes nothing", high("1"), bext(1000), bext(1000)},
        {"HI alone gives no time reference", high("1"), none, none},
        {"LO 5 with HI 1", high("1") + low("5"), none, at(4294967301)},
        {"the largest LO", low("18446744073709551615"), none, at(kMaxU64)},
        {"an overflowing LO leaves the bext value", low(kTooLarge), bext(1000), bext(1000)},
        {"an overflowing HI leaves the bext value", low("5") + high(kTooLarge), bext(1000), bext(1000)},
        {"an overflowing LO keeps the rate read before", rate("25") + low(kTooLarge), bext(1000),
         withRate(bext(1000), 25, 1)},
        {"a decimal LO is not read", low("5.5"), bext(1000), bext(1000)},
        {"an attributed LO is not read",
         "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO a=\"1\">5</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>", bext(1000),
         bext(1000)},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        TimecodeSource source = c.before;
        readTimecodeMetadata(document(c.ixml), source);
        EXPECT_EQ(source.timeReference, c.expected.timeReference);
        EXPECT_EQ(source.hasTimeReference, c.expected.hasTimeReference);
        EXPECT_EQ(source.rateNumerator, c.expected.rateNumerator);
        EXPECT_EQ(source.rateDenominator, c.expected.rateDenominator);
        EXPECT_EQ(source.dropFrame, c.expected.dropFrame);
    }
}

struct TimecodeCase {
    std::string label;
    std::string ixml;
    std::optional<std::uint64_t> bextTimeReference;
    std::string expected;
};

TEST(RecorderMetadataTest, TimecodeFromMetadata) {
    const std::vector<TimecodeCase> cases = {
        {"recorder iXML",
         rate("24000/1001") + "<TIMECODE_FLAG>NDF</TIMECODE_FLAG>" + low("2190940753") + high("0000000000"),
         2190940753, "12:39:59:00"},
        {"lower-case rate 25 with spaces", "<timecode_rate> 25 </timecode_rate>" + low("1787064000"), std::nullopt,
         "10:20:30:12"},
        {"29.97 is not read, 24 stays", rate("29.97") + low("47520"), std::nullopt, "00:00:00:23"},
        {"rate 0 keeps 24", rate("0") + low("47520"), std::nullopt, "00:00:00:23"},
        {"denominator 0 keeps 24", rate("25/0") + low("47520"), std::nullopt, "00:00:00:23"},
        {"29.97 drop-frame after 60 s",
         rate("30000/1001") + "<TIMECODE_FLAG>DF</TIMECODE_FLAG>" + low("2880000"), std::nullopt, "00:00:59;28"},
        {"bext only", "", 172800000, "01:00:00:00"},
        {"iXML time stamp over bext", low("0"), 172800000, "00:00:00:00"},
        {"neither bext nor LO", rate("25"), std::nullopt, ""},
    };
    for (const TimecodeCase& c : cases) {
        SCOPED_TRACE(c.label);
        TimecodeSource source;
        if (c.bextTimeReference) {
            source = bext(*c.bextTimeReference);
        }
        if (!c.ixml.empty()) {
            readTimecodeMetadata(document(c.ixml), source);
        }
        EXPECT_EQ(formatStartTimecode(source, 48000), c.expected);
    }
}

}  // namespace
}  // namespace quillon::detail
