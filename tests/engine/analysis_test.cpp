// The engine's analysis side: the container reader (every refusal and layout
// in one table, judged by outside readers where they can), the sample scan
// (against a plain frame-by-frame scan, bit for bit), discovery and the scan
// of a folder of real recorder files, start timecodes (against a counting
// clock), track names, and the tag matcher (against std::regex).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <sys/resource.h>
#include <pthread.h>

#include "allocation_probe.h"
#include "frame_reader.h"
#include "messages.h"
#include "quillon/quillon.h"
#include "recorder_metadata.h"
#include "tag_matching.h"
#include "wav_builder.h"
#include "wav_reader.h"

namespace quillon::detail {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const FmtSpec kStereo16{.bitsPerSample = 16};
const std::string kFrames = pcmFrames(16, {{1, 2, 3}, {4, 5, 6}});

// What the reader found: its refusal, or the format code, data size, XML text and time reference.
std::string readerView(const fs::path& file) {
    WavFile wav;
    if (!openWav(file, wav)) return wav.error;
    return std::to_string(wav.fmt.formatCode) + " " + std::to_string(wav.dataSize) + " [" + wav.ixml + "]" +
           (wav.hasTimeReference ? " @" + std::to_string(wav.timeReference) : "");
}

WavBuilder stereo() { return WavBuilder().fmt(kStereo16).data(kFrames); }
std::string withFmt(const FmtSpec& fmt) { return WavBuilder().fmt(fmt).data("").bytes(); }

// Refusals in the order the reader checks, then layouts; no bytes, no file.
// Lying sizes cost no more memory than the file holds. Where outside readers
// can judge a layout (sox takes the declared sizes), the analysis finds the
// channels and frames they find.
TEST(Reader, RefusesInItsOrderAndFindsEveryLayout) {
    const std::uint32_t lie = 0xFFFFFFF0;
    const std::uint64_t time = 0x0102030405060708;  // every byte differs
    const std::string frames = pcmFrames(16, ChannelSamples(2, std::vector<std::int64_t>(1000, 7)));
    const char* sndfile = "sndfile-info @ | awk '/^Channels/{c=$3} /^Frames/{f=$3} END{print c, f}'";
    const char* mediainfo = "mediainfo --Inform='Audio;%Channels% %SamplingCount%' @";
    const struct { std::string bytes, expected; std::vector<std::string> judges = {}; } cases[] = {
        {"", msg::couldNotOpenFile},
        {stereo().bytes().replace(8, 4, "AVI "), msg::notRiffWave},
        {stereo().bytes().replace(0, 4, "RF64"), msg::notRiffWave},                  // no ds64
        {stereo().chunk("ds64", std::string(28, '\0')).bytes().replace(0, 4, "BW64"), msg::notRiffWave},  // not first
        {stereo().truncateTo(12 + 8 + 27).bytes64(), msg::notRiffWave},               // cut short
        {WavBuilder().chunk("fmt ", kStereo16.payload().substr(0, 14)).data(kFrames).bytes(), msg::invalidFmtChunk},
        {WavBuilder().data(kFrames).fmt(kStereo16).truncateTo(55).bytes(), msg::invalidFmtChunk},  // a byte short
        {WavBuilder().fmt(kStereo16).bytes(), msg::missingFmtOrData},
        {WavBuilder().data(kFrames).bytes(), msg::missingFmtOrData},
        {WavBuilder().fmt(kStereo16).chunk({"LIST", "", lie}).data(kFrames).bytes(), msg::missingFmtOrData},
        {withFmt({.formatTag = 3, .channels = 0, .bitsPerSample = 32, .blockAlign = 8}), msg::invalidFormat},
        {withFmt({.formatTag = 2, .bitsPerSample = 0, .blockAlign = 4}), msg::invalidFormat},
        {withFmt({.formatTag = 2, .bitsPerSample = 4, .blockAlign = 1024}), msg::unsupportedFormat},
        {withFmt({.bitsPerSample = 8, .blockAlign = 1}), msg::unsupportedBitDepth},
        {withFmt({.formatTag = 3}), msg::unsupportedBitDepth},             // 24-bit float
        {withFmt({.channels = 8, .blockAlign = 23}), msg::invalidFormat},  // a byte short of a frame
        {withFmt({.blockAlign = 8}), msg::invalidFormat},                  // 24-bit samples in 4-byte containers
        {withFmt({.formatTag = 0xFFFE, .bitsPerSample = 32, .subFormat = 3}), "3 0 []"},
        // An odd chunk and its pad byte, fmt after data, bext with and without a time reference, the last XML.
        {WavBuilder().chunk("JUNK", "abc").data(kFrames).fmt(kStereo16).chunk("bext", bextPayload(time, 346))
             .chunk("iXML", "1st").chunk("bext", bextPayload(2, 345)).chunk("axml", "2nd").bytes(),
         "1 12 [2nd] @72623859790382856"},
        {stereo().chunk("bext", bextPayload(1)).chunk("bext", bextPayload(2)).bytes(), "1 12 [] @2"},
        {stereo().chunk({"bext", bextPayload(time, 342), lie}).bytes(), "1 12 [] @84281096"},  // the rest: zeros
        {stereo().chunk({"iXML", "<XX>", lie}).bytes(), "1 12 [<XX>]"},
        // The last iXML document (a BWFXML root or a track list), not a later EBU document.
        {stereo().chunk("axml", "<bwfxml a='1'>").chunk("IXML", "<track_list></track_list>").chunk("axml", "<ebu/>")
             .chunk("iXML", "<BWFXMLS>").bytes(), "1 12 [<track_list></track_list>]"},
        // 64-bit sizes from ds64: the data's, a table entry's, none for a chunk without one.
        {stereo().chunk({"iXML", "<A>", ~0u}).chunk({"JUNK", "", ~0u}).bytes64("BW64", {{"iXML", 3}}), "1 12 [<A>]"},
        // Size placeholders run to the end of the file: 0xFFFFFFFF (a streaming writer's); 0 when the RIFF size is
        // 0, 0xFFFFFFFF or short of the file (a recording never finalised), else an empty data chunk. A take cut
        // short holds the frames it holds.
        {WavBuilder().fmt(kStereo16).data(kFrames, ~0u).chunk("iXML", "x").bytes(), "1 22 []", {sndfile}},
        {WavBuilder().fmt(kStereo16).data(kFrames, 0).chunk("iXML", "x").riffSize(0).bytes(), "1 22 []"},
        {WavBuilder().fmt(kStereo16).data(kFrames, 0).chunk("iXML", "x").riffSize(36).bytes(), "1 22 []"},
        {WavBuilder().fmt(kStereo16).data(frames, 0).riffSize(~0u).bytes(), "1 4000 []", {mediainfo}},
        {WavBuilder().fmt(kStereo16).data("").chunk("iXML", "x").bytes(), "1 0 [x]", {sndfile}},
        {WavBuilder().data("", 0).fmt(kStereo16).bytes(), "1 0 []"},  // before fmt: empty
        {WavBuilder().fmt(kStereo16).data(frames).truncateTo(3000).bytes(), "1 4000 []", {sndfile, mediainfo}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        if (!c.bytes.empty()) writeFile(dir / "f.wav", c.bytes);
        AllocationProbe probe;
        EXPECT_EQ(readerView(dir / "f.wav"), c.expected) << "row " << &c - cases;
        EXPECT_LT(probe.peakLiveBytes(), c.bytes.size() + (64 << 10)) << c.expected;
        const PolyWavInfo info = analyzePolyWav(dir / "f.wav", 1.0);
        for (std::string judge : c.judges)
            EXPECT_EQ(commandOutput(judge.replace(judge.find('@'), 1, (dir / "f.wav").string())),
                      std::to_string(info.channels) + " " + std::to_string(info.frames) + "\n")
                << &c - cases << judge;
    }
}

// Peak and RMS of each channel as bits: equal only when bit-identical, NaN included.
using Levels = std::vector<std::uint64_t>;

void add(Levels& levels, double peak, double rms) {
    levels.insert(levels.end(), {std::bit_cast<std::uint64_t>(peak), std::bit_cast<std::uint64_t>(rms)});
}

// Each channel on its own, frame after frame, over the first `frameLimit`
// whole frames: an integer scaled in single precision, a float as stored.
Levels plainLevels(const std::string& data, const FmtSpec& fmt, std::size_t frameLimit) {
    const std::size_t width = fmt.bitsPerSample / 8, align = fmt.channels * width;
    const std::size_t frames = std::min(data.size() / align, frameLimit);
    const std::int64_t full = std::int64_t{1} << fmt.bitsPerSample;
    Levels levels;
    for (std::size_t k = 0; k < fmt.channels; ++k) {
        double peak = 0.0, sum = 0.0;
        for (std::size_t f = 0; f < frames; ++f) {
            std::int64_t raw = 0;
            for (std::size_t i = width; i-- > 0;) raw = raw * 256 + std::uint8_t(data[f * align + k * width + i]);
            const double x = fmt.formatTag == 3 ? std::bit_cast<float>(static_cast<std::uint32_t>(raw))
                                                : static_cast<float>(raw < full / 2 ? raw : raw - full) *
                                                      std::ldexp(1.0f, 1 - fmt.bitsPerSample);
            peak = std::fabs(x) > peak ? std::fabs(x) : peak;
            sum += x * x;
        }
        add(levels, peak, frames == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(frames)));
    }
    return levels;
}

// A threshold above every finite peak has the whole file read. Bytes follow
// the data unless its declared size runs past the end of the file: a scan
// reading too far would measure them.
void expectPlainLevels(const std::string& label, const FmtSpec& fmt, const std::string& data, double threshold = 1e9,
                       std::size_t framesRead = SIZE_MAX, int active = 0, std::optional<std::uint32_t> declared = {}) {
    TempDir dir;
    WavBuilder file;
    file.fmt(fmt).data(data, declared);
    if (!declared) file.chunk("JUNK", std::string(4096, '\x55'));
    file.write(dir / "f.wav");
    writeFile(dir / "f64.wav", file.bytes64());
    auto probe = std::make_unique<AllocationProbe>();
    const auto info = analyzePolyWav(dir / "f.wav", threshold);
    const auto whole = analyzePolyWav(dir / "f.wav", threshold, PeakCoverage::wholeTake);
    const LevelOverview sevenSlices = levelOverview(dir / "f64.wav", 7);
    EXPECT_LT(probe->largestRequest(), 5u << 20) << label;
    probe.reset();
    // Read whole on request; the record says whether its peaks cover the take.
    for (const auto& [read, limit] : {std::pair(&info, framesRead), std::pair(&whole, SIZE_MAX)}) {
        Levels measured;
        for (const auto& track : read->tracks) add(measured, track.peak, track.rms);
        EXPECT_EQ(measured, plainLevels(data, fmt, limit)) << label;
        EXPECT_EQ(read->activeCount(), active) << label;
        EXPECT_EQ(read->peaksCoverTake(), limit == SIZE_MAX) << label;
    }
    // The level overview: the peak of every slice of the frames present, slices that do and do not divide them
    // (more slices than frames leave some empty), the same from the file's RF64 form, in bounded memory.
    const std::size_t align = fmt.channels * fmt.bitsPerSample / 8, frames = data.size() / align;
    for (const std::size_t slices : {3ul, 7ul, frames < 20 ? frames + 2 : 1}) {
        const LevelOverview overview = levelOverview(dir / "f.wav", std::int32_t(slices));
        Levels expected, got;
        for (std::size_t slice = 0; slice < slices; ++slice) {
            const std::size_t first = slice * frames / slices, last = (slice + 1) * frames / slices;
            const Levels plain = plainLevels(data.substr(first * align, (last - first) * align), fmt, SIZE_MAX);
            for (std::size_t k = 0; k < fmt.channels; ++k)
                expected.push_back(plain[2 * k]), got.push_back(std::bit_cast<std::uint64_t>(overview.peaks[k][slice]));
        }
        EXPECT_EQ(got, expected) << label << ", " << slices << " slices";
        EXPECT_TRUE(slices != 7 || overview.peaks == sevenSlices.peaks) << label << ": RF64";
    }
}

TEST(Analysis, MeasuresLikeAPlainScanBitForBit) {
    std::independent_bits_engine<std::mt19937, 8, unsigned> byte;
    for (const auto& [tag, bits] : {std::pair<std::uint16_t, std::uint16_t>{1, 16}, {1, 24}, {1, 32}, {3, 32}})
        for (const std::uint16_t channels : {1, 3, 11, 40}) {
            // A block and part of the next; at 40 channels of 24 or 32 bits
            // the reads split every block too. Floats stay finite, below 2.
            std::string data(48777u * channels * bits / 8, '\0');
            for (auto i = 0u; i < data.size(); ++i) data[i] = char(byte() & (tag == 3 && i % 4 == 3 ? 0xBF : 0xFF));
            expectPlainLevels(std::to_string(channels) + " x " + std::to_string(bits) + (tag == 3 ? " float" : ""),
                              {.formatTag = tag, .channels = channels, .bitsPerSample = bits}, data);
        }
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    expectPlainLevels("16 bits: full scale, byte order; a peak equal to the threshold is active",
                      {.channels = 4, .bitsPerSample = 16}, pcmFrames(16, {{-32768}, {32767}, {0x0102}, {-1}}),
                      32767 * 0x1p-15, SIZE_MAX, 2);
    expectPlainLevels("24 bits: full scale, sign, byte order", {.channels = 4},
                      pcmFrames(24, {{-8388608}, {8388607}, {0x010203}, {-1}}));
    expectPlainLevels("32 bits through single precision", {.channels = 4, .bitsPerSample = 32},
                      pcmFrames(32, {{INT32_MIN}, {INT32_MAX}, {0x1000001}, {-1}}));
    expectPlainLevels("float: NaN is never the peak, infinity is", {.formatTag = 3, .channels = 3, .bitsPerSample = 32},
                      floatFrames({{nan, 0.5f}, {-inf, 0}, {2, -3}}), 1e9, SIZE_MAX, 1);
    std::vector<std::int64_t> quietThenLoud(48000, 1000);
    for (std::size_t f = 1; f < quietThenLoud.size(); f += 2) quietThenLoud[f] = 1;  // its RMS tells where a scan stopped
    quietThenLoud.resize(96001, 30000);
    expectPlainLevels("each peak equal to the threshold after a block: early stop", kStereo16,
                      pcmFrames(16, {quietThenLoud, quietThenLoud}), 1000 * 0x1p-15, 48000, 2);
    expectPlainLevels("a silent channel reads on", kStereo16,
                      pcmFrames(16, {std::vector<std::int64_t>(96001, 0), quietThenLoud}), 0.001, SIZE_MAX, 1);
    expectPlainLevels("cut short", {}, pcmFrames(24, {{1, 2, 3}, {4, 5, -6}}) + "\1\2\3", 1e9, SIZE_MAX, 0, 576000);
    expectPlainLevels("less than a frame", {}, "\1\2\3", 1e9, SIZE_MAX, 0, 48000);
}

// The read-ahead hands out the frames in order over many turns of its slots,
// the same when a stream ends early; a reader dropped while its thread waits
// for room to read on ends at once.
TEST(Analysis, ReadAheadHandsOutEveryFrameInOrder) {
    constexpr std::size_t kAlign = 6, kFrames = 1000;
    std::string bytes(kAlign * kFrames, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7919 % 251);
    for (const std::size_t present : {bytes.size(), bytes.size() - 100}) {
        std::istringstream in(bytes.substr(0, present));
        detail::FrameReader reader(in, 0, kFrames, kAlign, 7, 50, 32);
        std::string got;
        for (auto chunk = reader.next(); chunk.frames > 0; chunk = reader.next()) {
            got.append(reinterpret_cast<const char*>(chunk.bytes), chunk.frames * kAlign);
            if (reader.framesDone() > 20) reader.readAhead();  // after three chunks read when asked
        }
        EXPECT_EQ(got, bytes.substr(0, present / kAlign * kAlign));
    }
    std::istringstream in(bytes);
    detail::FrameReader reader(in, 0, kFrames, kAlign, 7, 50, 32);
    reader.readAhead();
    reader.next();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The corpus, with files around it that test which names discovery takes
// and in which order (the file name's bytes alone), which links it follows,
// which it passes over and why, and that a folder nobody may list costs only
// itself; a scan stops between files when asked. Two files change while
// reported, which is what their analysis sees: one loses a channel and is
// left out, one is no audio any more and is listed with its error. The
// threshold lies between the quiet corpus tracks' peaks.
TEST(Scan, FindsMeasuresAndReportsEveryFileInOrder) {
    TempDir copy;
    for (const auto& entry : fs::directory_iterator(corpusDir())) fs::copy_file(entry, copy / entry.path().filename());
    for (const auto& name : {"._A101_1.WAV", ".h.wav", ".dot/in.wav", "T10.wav", "sub/T2.Bwf", "\xC3\xA9.wav", "x.wave",
                             "x.wav.bak", "locked/l.wav", "sub/x-gone.wav", "x-text.wav"}) {
        fs::create_directories((copy / name).parent_path());
        writeFile(copy / name, levelTake("11", 2));
    }
    writeFile(copy / "mono.wav", levelTake("1", 2));
    writeFile(copy / "text.wav", "text");
    writeFile(copy / "8.wav", simpleWav({.bitsPerSample = 8}, {{1}, {2}}));
    for (const auto& [link, to] : {std::pair{"link.wav", "T10.wav"}, {"linked", "sub"}, {"gone.wav", "-"}})
        fs::create_symlink(to, copy / link);
    const std::vector<std::string> listing = {"A101_1.WAV", "Nuendo 5.1.wav", "Nuendo Stereo.wav", "PT A101_4.A1.wav",
                                              "STE-000.wav", "T10.wav", "sub/T2.Bwf", ".dot/in.wav", "locked/l.wav",
                                              "link.wav", "sub/x-gone.wav", "x-text.wav", "\xC3\xA9.wav"};
    EXPECT_EQ(discoverPolyPaths(copy.path(), false, 6), std::vector{copy / "Nuendo 5.1.wav"});
    // What discovery passes over, by name, with the reader's refusal or the channel count; hidden files are not.
    std::vector<std::string> passed;
    for (const PassedOverFile& file : passedOverFiles(copy.path(), true, 2))
        passed.push_back(file.path.lexically_relative(copy.path()).string() + " " + file.error + std::to_string(file.channels));
    EXPECT_EQ(passed, (std::vector<std::string>{std::string("8.wav ") + msg::unsupportedBitDepth + "0", "A101_1_1.WAV 1",
                                                "mono.wav 1", std::string("text.wav ") + msg::notRiffWave + "0"}));
    // A stop requested while the second file is reported ends the scan after it, with both files.
    std::stop_source stop;
    const auto stopAtTwo = [&](int n, int, const fs::path&) { if (n == 2) stop.request_stop(); };
    EXPECT_EQ(scanDirectory(copy.path(), true, 1e-4, 2, stopAtTwo, PeakCoverage::untilDecided, stop.get_token()).size(), 2u);
    // Out of descriptors forty folders deep, nobody finds what it may read
    // (all but the locked folder, which alone finds nothing), and every file
    // of the folders it could open, wherever each file comes in the listing.
    fs::permissions(copy / "locked", fs::perms::none);
    fs::path deep = copy / "deep";
    for (int level = 0; level < 40; ++level) {
        fs::create_directories(deep /= std::to_string(level));
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) writeFile(deep / name, levelTake("11", 2));
    }
    EXPECT_EQ(runAsNobody(copy.path(), [&] {
                  const rlimit few{24, 24};
                  std::map<std::ptrdiff_t, std::size_t> filesByDepth;  // 0: outside the deep folders
                  for (const auto& path : setrlimit(RLIMIT_NOFILE, &few) ? std::vector<fs::path>{}
                                                                         : discoverPolyPaths(copy.path(), true, 2)) {
                      const bool inDeep = path.string().find("/deep/") != std::string::npos;
                      ++filesByDepth[inDeep ? std::distance(path.begin(), path.end()) : 0];
                  }
                  const auto shallow = std::next(filesByDepth.begin(), std::min<std::ptrdiff_t>(11, filesByDepth.size()));
                  const bool whole = std::all_of(std::next(filesByDepth.begin()), shallow,
                                                 [](auto& depth) { return depth.second == 3; });
                  const bool found = filesByDepth.size() > 10 && filesByDepth.size() < 41 && whole &&
                                     filesByDepth[0] == listing.size() - 1;
                  return found && discoverPolyPaths(copy / "locked", false, 2).empty() ? 0 : 1;
              }), 0) << "1: what nobody found, 125: not run as nobody";
    fs::permissions(copy / "locked", fs::perms::owner_all);
    fs::remove_all(copy / "deep");
    std::vector<std::string> reports, facts;
    const auto results = scanDirectory(copy.path(), true, 1e-4, 2, [&](int n, int count, const fs::path& path) {
        reports.push_back(path.lexically_relative(copy.path()).string());
        EXPECT_EQ(std::pair(n, count), std::pair(int(reports.size()), 13)) << path;
        if (path.filename() == "x-gone.wav") writeFile(path, levelTake("1", 2));
        if (path.filename() == "x-text.wav") writeFile(path, "text");
    });
    EXPECT_EQ(reports, listing);
    for (const auto& info : results) {
        std::string names;
        for (const auto& track : info.tracks) names += (names.empty() ? "" : ", ") + track.name;
        facts.push_back(info.summary() + "  [" + names + "]");
    }
    const std::string d = "  \xE2\x80\x94  ", two = "  [Track 1, Track 2]", mkh = "  [MKH516 A, Boom]";
    const std::string six = "  [Track 1, Track 2, Track 3, Track 4, Track 5, Track 6]";
    const auto made = [&](auto name) { return name + d + "2 tracks (2 active, 0 empty)  48000 Hz  0.0s" + two; };
    EXPECT_EQ(facts, (std::vector<std::string>{
                         "12:39:59:00  A101_1.WAV" + d + "2 tracks (1 active, 1 empty)  48000 Hz  5.0s" + mkh,
                         "01:00:00:00  Nuendo 5.1.wav" + d + "6 tracks (0 active, 6 empty)  48000 Hz  1.0s" + six,
                         "01:00:00:00  Nuendo Stereo.wav" + d + "2 tracks (0 active, 2 empty)  48000 Hz  1.0s" + two,
                         "12:40:15:00  PT A101_4.A1.wav" + d + "2 tracks (2 active, 0 empty)  48000 Hz  3.0s" + mkh,
                         "17:54:35:00  STE-000.wav" + d + "2 tracks (2 active, 0 empty)  48000 Hz  5.1s" + two,
                         made("T10.wav"), made("T2.Bwf"), made("in.wav"), made("l.wav"), made("link.wav"),
                         "x-text.wav" + d + "error: " + msg::notRiffWave + "  []", made("\xC3\xA9.wav")}));
}

std::string el(const std::string& tag, const std::string& text) { return "<" + tag + ">" + text + "</" + tag + ">"; }

// Every frame of eleven minutes, by any of its samples, labelled as a clock
// counts: frame by frame, skipping `dropped` labels at each minute that is
// not a multiple of ten.
TEST(Timecode, EveryFrameAsACountingClockLabelsIt) {
    const std::tuple<std::uint64_t, std::uint64_t, bool, int, int> cases[] = {
        {30000, 1001, true, 30, 2}, {60000, 1001, true, 60, 4}, {30000, 1001, false, 30, 0}, {25, 1, true, 25, 0}};
    for (const auto& [numerator, denominator, dropFlag, nominal, dropped] : cases)
        for (int m = 0, s = 0, f = 0, frame = 0; frame < 660 * nominal; ++frame) {
            // The sample rate equals the numerator, so a frame spans `denominator` samples.
            const TimecodeSource source{frame * denominator + frame % denominator, true, numerator, denominator,
                                        dropFlag};
            char label[64];
            std::snprintf(label, sizeof label, "00:%02d:%02d%c%02d", m, s, dropped ? ';' : ':', f);
            ASSERT_EQ(formatStartTimecode(source, std::int32_t(numerator)), label) << numerator << " " << frame;
            if (++f < nominal || (f = 0, ++s < 60)) continue;
            s = 0;
            f = ++m % 10 == 0 ? 0 : dropped;
        }
}

TEST(Timecode, FromBextAndIxmlAtTheEdges) {
    const std::string lo = "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", rate = "TIMECODE_RATE";
    // `stamp` is 10:20:30.9: frame 22 at 25 fps, 21 at 24.
    const std::string large = "18446744073709551616", stamp = el(lo, "1787083200");
    // iXML, bext time reference (none when 0), sample rate, label.
    const std::tuple<std::string, std::uint64_t, std::int32_t, std::string> cases[] = {
        {"", ~0ull, 48000, "67:18:02:07"},  // hours wrap at 100
        {"", 48000, 0, ""},
        {"<timecode_rate> 25 </timecode_rate>" + stamp, 0, 48000, "10:20:30:22"},
        {el(rate, "25/0") + stamp, 0, 48000, "10:20:30:21"},
        {el(rate, "30000/1001") + "<timecode_flag> df\t</Timecode_Flag>" + el(lo, "2880000"), 0, 48000, "00:00:59;28"},
        {el(lo, "0"), 172800000, 48000, "00:00:00:00"},  // the iXML time stamp wins over bext
        {el("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", "1") + el(lo, "5"), 0, 48000, "24:51:18:11"},
        {el(lo, large), 172800000, 48000, "01:00:00:00"},
        {el(rate, large + "/1") + el(lo, "0"), 172800000, 48000, "01:00:00:00"},
        // The stamp counts at its own rate when the document gives one; bext at the file's.
        {el("TIMESTAMP_SAMPLE_RATE", "48000") + stamp, 0, 48048, "10:20:30:21"},
        {el("TIMESTAMP_SAMPLE_RATE", "0") + stamp, 0, 96000, "05:10:15:10"},
        {el("TIMESTAMP_SAMPLE_RATE", "96000"), 172800000, 48000, "01:00:00:00"},
    };
    for (const auto& [ixml, bext, sampleRate, expected] : cases) {
        TimecodeSource source{bext, bext != 0};
        readTimecodeMetadata("<BWFXML>" + ixml + "</BWFXML>", source);
        EXPECT_EQ(formatStartTimecode(source, sampleRate), expected) << ixml << " " << bext;
    }
}

std::string track(const std::string& index, const std::string& name, const std::string& indexTag = "CHANNEL_INDEX") {
    return el("TRACK", (index.empty() ? "" : el(indexTag, index)) + el("NAME", name));
}

TEST(TrackNames, ByIndexOverDefaults) {
    std::string tenByPosition;
    for (int i = 0; i < 10; ++i) tenByPosition += track("", "X");
    // By index (1 to N), not by order; CHANNEL_INDEX only without
    // INTERLEAVE_INDEX; only space, tab, line feed and carriage return
    // stripped; an index out of range names the position; a blank name keeps
    // the default; an index too large to read ends the walk.
    const std::string rules = track("3", " \t\r\nC c\n") + track("1", "A") + track("2", "\vB\f", "INTERLEAVE_INDEX") +
                              track("0", " \t\r\n") + track("9", "E") +
                              el("TRACK", el("CHANNEL_INDEX", "4") + el("INTERLEAVE_INDEX", "6") + el("NAME", "F")) +
                              track("2147483648", "X") + track("6", "X");
    const std::tuple<std::string, std::int32_t, std::vector<std::string>> cases[] = {
        {el("TRACK_LIST", rules), 6, {"A", "\vB\f", "C c", "Track 4", "E", "F"}},
        // Positions beyond the channels name nothing; N + 9 elements at most.
        {el("TRACK_LIST", tenByPosition + track("1", "Seen") + track("2", "Unseen")), 2, {"Seen", "X"}},
    };
    for (const auto& [ixml, channels, expected] : cases) EXPECT_EQ(readTrackNames(ixml, channels), expected) << ixml;
}

// Where a search's groups lie in the text, or its whole match for an element.
std::string at(std::string_view text, std::string_view group) {
    return "[" + std::string(group) + "]@" + std::to_string(group.data() - text.data());
}
std::string shown(std::string_view text, const std::optional<std::string_view>& group) {
    return group ? at(text, *group) : "none";
}
std::string shown(std::string_view text, const std::optional<RateDigits>& rate) {
    return rate ? at(text, rate->numerator) + (rate->denominator ? at(text, *rate->denominator) : "") : "none";
}
std::string shown(std::string_view, const std::optional<ElementSpan>& span) {
    return span ? std::to_string(span->begin) + "-" + std::to_string(span->end) : "none";
}

std::string regexShown(const std::string& text, const std::regex& pattern, bool wholeMatch = false) {
    std::smatch m;
    if (!std::regex_search(text, m, pattern)) return "none";
    if (wholeMatch) return std::to_string(m.position(0)) + "-" + std::to_string(m.position(0) + m.length(0));
    std::string groups;
    for (std::size_t g = 1; g < m.size(); ++g)
        if (m[g].matched) groups += "[" + m.str(g) + "]@" + std::to_string(m.position(g));
    return groups;
}

// Texts of eight random pieces: tags in any letter case, parts of them,
// whole elements, white space, digits and stray bytes; every search must give
// what the ECMAScript pattern it stands for gives.
TEST(TagMatching, EqualsTheRegexOnGeneratedTexts) {
    const auto icase = std::regex::ECMAScript | std::regex::icase;
    const std::regex number("<CHANNEL_INDEX>\\s*([0-9]+)\\s*</CHANNEL_INDEX>", icase);
    const std::regex rate("<TIMECODE_RATE>\\s*([0-9]+)\\s*(?:/\\s*([0-9]+))?\\s*</TIMECODE_RATE>", icase);
    const std::regex track("<TRACK\\b[\\s\\S]*?</TRACK>", icase), name("<NAME>([\\s\\S]*?)</NAME>", icase);
    const std::regex openTrack("<TRACK\\b", icase);
    const std::regex literal("aA", icase);
    const std::string out = "<R>$&$1$$</R>", format = std::regex_replace(out, std::regex("\\$"), "$$$$");
    const std::vector<std::string> pieces = {
        "<Channel_Index>\v\f42\r\n</CHANNEL_INDEX>", "<timecode_rate> 25/1001 </TIMECODE_RATE>", "</channel_index>",
        "<timecode_flag>\t\v\f  </timecode_flag>", "<TIMECODE_FLAG> DF\t</TIMECODE_FLAG>", "<TRACK id=\"1\">x</track>",
        "<TIMECODE_FLAG>d F</timecode_flag>", "<timecode_flag>DF</Timecode_Flag>", "</timecode_rate>", "<Track_List>",
        "<Name>a b</NAME>", "</timecode_flag>", "<CHANNEL_INDEX>", "<TIMECODE_RATE>", "<TIMECODE_FLAG>", "</TRACK>",
        "<channel_index", "<TRACK>", "<track ", "</track", "</name>", "<NAME>", "/1001", "<Name", "\t\n", "\xA0", "DF",
        " / ", " F", "\v", "42", "aA", "</", "d", ">", " ", "7", "x", "a", "A", "/", "<"};
    std::vector<std::pair<std::string, std::regex>> flags;
    for (const std::string value : {"DF", "D F"})
        flags.emplace_back(value, std::regex("<TIMECODE_FLAG>\\s*" + value + "\\s*</TIMECODE_FLAG>", icase));
    std::mt19937 random(5);
    for (int n = 0; n < 5000 && !HasFailure(); ++n) {
        std::string text;
        for (int i = 0; i < 8; ++i) text += pieces[random() % pieces.size()];
        const std::string shownText = ::testing::PrintToString(text);
        EXPECT_EQ(shown(text, searchNumberElement(text, "CHANNEL_INDEX")), regexShown(text, number)) << shownText;
        EXPECT_EQ(shown(text, searchRateElement(text)), regexShown(text, rate)) << shownText;
        EXPECT_EQ(shown(text, searchElement(text, "TRACK")), regexShown(text, track, true)) << shownText;
        EXPECT_EQ(containsOpenTag(text, "TRACK"), std::regex_search(text, openTrack)) << shownText;
        EXPECT_EQ(shown(text, searchElementText(text, "NAME")), regexShown(text, name)) << shownText;
        const bool found = std::regex_search(text, literal);
        EXPECT_EQ(replaceLiteral(text, "aA", out),
                  found ? std::optional(std::regex_replace(text, literal, format)) : std::nullopt) << shownText;
        for (const auto& [value, flag] : flags)
            EXPECT_EQ(containsElementValue(text, "TIMECODE_FLAG", value), std::regex_search(text, flag)) << shownText;
    }
}

// Four mebibytes of text on a thread with a small stack, in
// linear time: content after a long filler, and many unclosed tags, which
// would cost a naive search quadratic time.
TEST(TagMatching, FourMebibytesInLinearTimeOnASmallStack) {
    std::string filler;
    while (filler.size() < (2u << 20)) filler += "<NOTE>take 3 <TRACK wind</NOTE>\n<!-- <TRACK -->\n";
    const std::string head =
        "<BWFXML>" + filler + el("TIMECODE_RATE", "25/1") + el("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", "48000");
    const std::string ixml = head + el("TRACK_LIST", el("TRACK", el("CHANNEL_INDEX", "2") + filler + el("NAME", "B")));
    const auto start = std::chrono::steady_clock::now();
    auto searches = [&] {
        TimecodeSource source;
        readTimecodeMetadata(ixml, source);
        EXPECT_EQ(formatStartTimecode(source, 48000), "00:00:01:00");
        EXPECT_EQ(readTrackNames(ixml, 2), (std::vector<std::string>{"Track 1", "B"}));
        EXPECT_EQ(readTrackNames("<TRACK><NAME>" + filler + filler, 1), std::vector<std::string>{"Track 1"});
        EXPECT_TRUE(replaceElements(ixml, "TRACK_LIST", "<L/>") == head + "<L/>");  // no diff of mebibytes
    };
    pthread_attr_t smallStack;  // a worker thread's 512 KiB, where a recursive matcher overflows
    pthread_t thread;
    pthread_attr_init(&smallStack);
    pthread_attr_setstacksize(&smallStack, 512 << 10);
    const auto runSearches = [](void* run) -> void* { return (*static_cast<decltype(searches)*>(run))(), nullptr; };
    ASSERT_EQ(pthread_create(&thread, &smallStack, runSearches, &searches), 0);
    pthread_join(thread, nullptr);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

}  // namespace
}  // namespace quillon::detail
