// The writer over one table of sources, routes, choices of tracks and faults: each written file is read by sox,
// sndfile-info and the engine's own analysis; each refusal or fault names its reason and leaves the folder as it was,
// a file changed since the analysis that a choice was made on among them. This binary replaces write(2) and fopen64
// to make faults that only the system could: a full disk, a source that vanishes as it is opened or shrinks during
// the copy (a medium that returns other bytes than written is the command line tests' FUSE medium). Then bext track
// lines and track lists that follow their channels, and in-place writes killed at any point.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

#include "allocation_probe.h"
#include "messages.h"
#include "quillon/quillon.h"
#include "chunk_types.h"
#include "ixml_rewrite.h"
#include "safe_file_replacement.h"
#include "wav_builder.h"

static enum class Fault { none, diskFullAtLastByte, sourceVanishes, sourceShrinks } fault = Fault::none;
static long long faultByte = 0, counted = 0;  // in the bytes written to files since the fault was armed
static std::string sourcePath;

// The writer's first write comes after its walk over the source and before its copy of the samples.
extern "C" ssize_t write(int fd, const void* buffer, size_t size) {
    const auto at = static_cast<std::size_t>(faultByte - std::exchange(counted, counted + (fd > 2 ? size : 0)));
    if (fd > 2 && fault == Fault::sourceShrinks) ::truncate(sourcePath.c_str(), 60);
    if (fd > 2 && at < size && fault == Fault::diskFullAtLastByte) return errno = ENOSPC, -1;
    return reinterpret_cast<decltype(&write)>(::dlsym(RTLD_NEXT, "write"))(fd, buffer, size);
}

extern "C" FILE* fopen64(const char* path, const char* mode) {
    if (path == sourcePath && fault == Fault::sourceVanishes) ::unlink(path);
    return reinterpret_cast<decltype(&fopen64)>(::dlsym(RTLD_NEXT, "fopen64"))(path, mode);
}

namespace quillon::testing {

namespace fs = std::filesystem;

// A signal with the format's extreme values (NaN payloads, infinities, the integer limits) in every fifth frame.
std::int64_t sampleAt(const FmtSpec& fmt, std::size_t channel, std::size_t frame) {
    const bool isFloat = (fmt.formatTag == 0xFFFE ? fmt.subFormat : fmt.formatTag) == 3;
    const std::int64_t top = (std::int64_t{1} << (fmt.bitsPerSample - 1)) - 1, integers[] = {top, -top - 1, 1, -1},
                       floats[] = {0x7FC00000, 0x7FA00001, 0xFFC12345, 0x7F800000, 0xFF800000, 0x7F7FFFFF, 1};
    if (frame % 5 == 3) return isFloat ? floats[(frame / 5 + channel) % 7] : integers[(frame / 5 + channel) % 4];
    const auto wave = static_cast<std::int64_t>((frame * 97 + channel * 1013) % 20000) - 10000;
    return isFloat ? std::bit_cast<std::uint32_t>(wave / 32768.0f) : (wave << fmt.bitsPerSample) >> 16;
}

struct Row {
    const char* label;
    FmtSpec fmt = {.channels = 3, .bitsPerSample = 16};
    // Repeated over the channels: '+' a signal, '-' silence, 'x' a signal. With an 'x' the tracks to remove are
    // chosen by hand on the source's analysis, every one but the '+' ones; else the writer's own analysis chooses.
    std::string tracks = "+-+";
    // cut: bytes cut from the end of the source file, which its last chunk still declares; a last chunk other
    // than data is lengthened by as many zeros first.
    std::size_t frames = 9, cut = 0;
    std::vector<std::string> chunks = {"bext", "fmt ", "LIST", "data"};  // of the source; XML chunks hold `xml`
    // `bytes` replaces the whole source. `layout` is the written file's; `xmlRest` its XML without newlines, the
    // track list as "@" ("" when not checked).
    std::string xml, bytes, layout = "bext|fmt |LIST|iXML|data", xmlRest;
    bool overwrite = true, asNobody = false;  // asNobody: in a folder that nobody may write to
    const char *output = "", *written = "Take.Wav", *message = "", *name = "Take.Wav";  // message: of a refusal
    Fault fault = Fault::none;
    // form: the source's 64-bit form; dataSize: the data's declared size.
    std::string form = "";
    std::optional<std::uint32_t> dataSize = {};
    std::function<void(std::string&)> change = {};  // made to the source after its analysis
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class Writer : public ::testing::TestWithParam<Row> {};

// Old files under the names of the copy and of the explicit output and a stale temporary file for the result lie
// beside the source. The result holds the
// kept samples (as sox remixes them too) and the mode of the file it replaces, its fmt chunk has the short form up
// to two channels and the extensible one above with the source's effective code, its analysis (names, peaks, rms,
// timecode) is that of the kept source tracks, and sndfile-info finds nothing wrong with it.
TEST_P(Writer, KeepsTheSamplesAndMetadataOrRefusesLeavingAllAsItWas) {
    const Row& row = GetParam();
    const bool byHand = row.tracks.find('x') != std::string::npos;
    ChannelSamples all(row.fmt.channels), keptSamples;
    std::vector<bool> removed;
    const std::size_t frameBytes = all.size() * row.fmt.bitsPerSample / 8;
    const std::size_t keptFrames = (row.frames * frameBytes - (row.chunks.back() == "data" ? row.cut : 0)) / frameBytes;
    for (std::size_t k = 0; k < all.size(); ++k) {
        const char track = row.tracks[k % row.tracks.size()];
        for (std::size_t f = 0; f < row.frames; ++f) all[k].push_back(track != '-' ? sampleAt(row.fmt, k, f) : 0);
        if (track == '+') keptSamples.emplace_back(all[k].begin(), all[k].begin() + std::ptrdiff_t(keptFrames));
        removed.push_back(track != '+');
    }
    // Opaque payloads start with their chunk's id, so that a carried chunk shows where it came from.
    const auto payloadOf = [&](const std::string& id) {
        if (id == "fmt ") return row.fmt.payload();
        if (id == "data") return pcmFrames(row.fmt.bitsPerSample, all);
        if (id == "iXML" || id == "axml") return row.xml;
        if (id == "PEAK") {  // version 1, a time stamp, then per channel a value and a position
            ChannelSamples fields = {{1}, {0}};
            for (std::size_t k = 0; k < all.size(); ++k) fields.push_back({std::int64_t(k) << 24}), fields.push_back({9});
            return pcmFrames(32, fields);
        }
        return id + std::string(id == "bext" ? 601 : 3, '.') + std::string(id == row.chunks.back() ? row.cut : 0, '\0');
    };
    WavBuilder builder;
    for (const std::string& id : row.chunks)
        builder.chunk({id, payloadOf(id), id == "data" ? row.dataSize : std::nullopt});
    std::string bytes = !row.bytes.empty() ? row.bytes
                        : row.form.empty() ? builder.bytes()
                                           : builder.bytes64(row.form);
    bytes.resize(bytes.size() - row.cut);
    TempDir dir;
    const fs::path source = dir / row.name, destination = dir / row.written;
    for (const char* name : {"Take_SLIM.bwf", "other.wav"}) writeFile(dir / name, "old copy");
    writeFile(source, bytes);
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::permissions(entry, static_cast<fs::perms>(0604));
    const auto size = row.fault == Fault::none ? 0LL : fs::file_size(compressPolyWav(source, false, 1e-4, dir / "x"));
    const auto namesIn = [&] { return std::set<fs::path>(fs::directory_iterator(dir.path()), {}); };
    std::set<fs::path> names = namesIn();
    if (!*row.message) writeFile(detail::temporaryPathFor(destination), "stale");
    const PolyWavInfo before = analyzePolyWav(source, 1e-4);
    std::vector<TrackInfo> kept;
    std::string remix;
    for (const TrackInfo& track : before.tracks)
        if (byHand ? !removed[std::size_t(track.index)] : !track.empty)
            kept.push_back(track), remix += " " + std::to_string(track.index + 1);
    const std::string soxKept = *row.message ? "" : commandOutput("sox -D '" + source.string() + "' -t raw - remix" + remix);
    if (row.change) row.change(bytes), writeFile(source, bytes);

    std::string message;
    const AllocationProbe probe;
    const auto run = [&] {
        try {
            const fs::path output = *row.output ? dir / row.output : "";
            EXPECT_EQ(byHand ? removeTracks(source, before, removed, row.overwrite, output)
                             : compressPolyWav(source, row.overwrite, 1e-4, output), destination);
        } catch (const std::runtime_error& error) {
            message = error.what();
        }
        return int{message != row.message};
    };
    std::tie(fault, faultByte, counted, sourcePath) = std::tuple(row.fault, size - 1, 0, source);
    if (row.asNobody) fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(row.asNobody ? runAsNobody(dir.path(), run) : run(), 0) << message;
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    fault = Fault::none;

    EXPECT_LT(probe.largestRequest(), 10u << 20) << "a buffer grows with the file";
    if (!*row.message) names.insert(destination);
    if (row.fault == Fault::sourceVanishes) names.erase(source);
    EXPECT_EQ(namesIn(), names);
    const std::string left = bytes.substr(0, row.fault == Fault::sourceShrinks ? 60 : bytes.size());
    EXPECT_TRUE((source == destination && !*row.message) || !fs::exists(source) || readFile(source) == left);
    if (*row.message) return;
    EXPECT_EQ(fs::status(destination).permissions(), static_cast<fs::perms>(0604)) << "the replaced file's mode";
    // The chunks in file order ("ond2<ond3": an ond2 chunk holding an ond3 payload) and the payloads by id.
    const std::string file = readFile(destination);
    const auto u32 = [&](std::size_t at) { std::uint32_t v; std::memcpy(&v, &file[at], 4); return std::size_t{v}; };
    std::string layout;
    std::map<std::string, std::string> payload;
    EXPECT_EQ(u32(4) + 8, file.size()) << "RIFF size";
    for (std::size_t at = 12; at + 8 <= file.size(); at += 8 + u32(at + 4) + u32(at + 4) % 2) {
        const std::string id = file.substr(at, 4), origin = file.substr(at + 8, 4);
        layout += (at > 12 ? "|" : "") + id + (id[0] == 'o' && origin != id ? "<" + origin : "");
        payload[id] = file.substr(at + 8, u32(at + 4));
    }
    const std::string quoted = "'" + destination.string() + "'", info = commandOutput("sndfile-info " + quoted);
    EXPECT_TRUE(payload["data"] == (row.bytes.empty() ? pcmFrames(row.fmt.bitsPerSample, keptSamples) : soxKept));
    EXPECT_TRUE(commandOutput("sox -D " + quoted + " -t raw -") == soxKept);
    EXPECT_TRUE(!payload.contains("fact") ||
                u32(file.find("fact") + 8) * frameBytes / all.size() * kept.size() == payload["data"].size());
    for (const char* bad : {"(should be", "Resynch", "Exiting", "rror"}) EXPECT_EQ(info.find(bad), info.npos) << info;
    const auto code = std::uint16_t(before.isFloat ? 3 : 1), count = std::uint16_t(kept.size());
    EXPECT_EQ(payload["fmt "], (FmtSpec{.formatTag = count > 2 ? std::uint16_t{0xFFFE} : code, .channels = count,
        .sampleRate = std::uint32_t(before.sampleRate), .bitsPerSample = std::uint16_t(before.bitsPerSample),
        .subFormat = code}.payload()));
    // Above every integer sample, so that the scan of the result reads every frame as the source's did.
    const PolyWavInfo after = analyzePolyWav(destination, 2.0);
    const auto facts = [](const std::vector<TrackInfo>& tracks) {
        std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> facts;
        for (const TrackInfo& t : tracks)
            facts.emplace_back(t.name, std::bit_cast<std::uint64_t>(t.peak), std::bit_cast<std::uint64_t>(t.rms));
        return facts;
    };
    EXPECT_EQ(std::tuple(after.timecode, facts(after.tracks)), std::tuple(before.timecode, facts(kept)));

    EXPECT_EQ(layout, row.layout);
    for (const auto& [id, carried] : payload) {
        // A chunk cut by the end of the file is carried with the bytes there, its pad byte among them; a
        // renumbered ond chunk holds the payload of the one it comes from.
        const std::string origin = id.starts_with("ond") ? carried.substr(0, 4) : id;
        std::string expected = payloadOf(origin);
        if (row.cut && origin == row.chunks.back()) expected.resize(expected.size() + expected.size() % 2 - row.cut);
        EXPECT_TRUE(!row.bytes.empty() || id == "fmt " || id == "data" || id == "iXML" || id == "fact" ||
                    id == "PEAK" || carried == expected) << id;
    }
    // A PEAK chunk keeps its header and the kept channels' entries.
    std::string peak = payloadOf("PEAK").substr(0, 8);
    for (const TrackInfo& track : kept) peak += payloadOf("PEAK").substr(8 + 8 * std::size_t(track.index), 8);
    EXPECT_TRUE(!payload.contains("PEAK") || payload["PEAK"] == peak);
    std::string text = payload["iXML"].substr(0, payload["iXML"].find('\0'));
    const std::size_t reserved = row.xml.ends_with('\0') ? row.xml.size() - text.size() : 0;
    EXPECT_TRUE(!row.bytes.empty() || payload["iXML"] == text + std::string(reserved, '\0')) << "reserved space";
    std::erase(text, '\n');
    const std::size_t begin = text.find("<TRACK_LIST>"), end = text.find("</TRACK_LIST>");
    EXPECT_TRUE(row.xmlRest.empty() || text.replace(begin, end + 13 - begin, "@") == row.xmlRest) << text;
}

using namespace detail::msg;

INSTANTIATE_TEST_SUITE_P(Rows, Writer, ::testing::Values(
    Row{.label = "pcm16_three_to_two", .frames = 4801},
    Row{.label = "pcm24_two_to_one_of_odd_size", .fmt = {.bitsPerSample = 24}, .tracks = "-+", .frames = 4801},
    Row{.label = "pcm32_extensible_six_to_four", .fmt = {.formatTag = 0xFFFE, .channels = 6, .bitsPerSample = 32,
        .channelMask = 0x3F}, .tracks = "+-++-+", .frames = 999},
    Row{.label = "float_four_to_three", .fmt = {.formatTag = 3, .channels = 4, .bitsPerSample = 32}, .tracks = "++-+"},
    Row{.label = "extensible_float_four_to_two", .fmt = {.formatTag = 0xFFFE, .channels = 4, .bitsPerSample = 32,
        .subFormat = 3}, .tracks = "+--+", .frames = 1001},
    Row{.label = "pcm24_forty_over_block_edges", .fmt = {.channels = 40}, .tracks = "+-++", .frames = 49001},
    Row{.label = "pcm16_three_thousand_wide", .fmt = {.channels = 3000, .bitsPerSample = 16}, .tracks = "--+"},
    Row{.label = "pcm24_cut_inside_a_frame_counted_in_fact", .fmt = {.channels = 3}, .frames = 100, .cut = 9 * 40 + 4,
        .chunks = {"bext", "fmt ", "fact", "data"}, .layout = "bext|fmt |fact|iXML|data"},
    Row{.label = "rf64_source_written_as_riff", .chunks = {"fmt ", "JUNK", "data", "fact"},
        .layout = "fmt |JUNK|iXML|data|fact", .form = "RF64"},
    Row{.label = "streamed_data_size", .chunks = {"bext", "fmt ", "data"}, .layout = "bext|fmt |iXML|data",
        .dataSize = 0xFFFFFFFF},
    Row{.label = "peak_entries_follow_their_channels", .chunks = {"fmt ", "PEAK", "data"}, .layout = "fmt |PEAK|iXML|data"},
    Row{.label = "corpus_A101_1", .bytes = readFile(corpusDir() / "A101_1.WAV"), .layout = "bext|fmt |iXML|data"},
    Row{.label = "list_replaced_names_literal_channel_chunks_renumbered",
        .chunks = {"bext", "JUNK", "fmt ", "ond1", "ond2", "ond4", "iXML", "data", "ond3", "ond9", "LIST"},
        .xml = "<BWFXML><A/><Track_List n=\"3\"><TRACK><CHANNEL_INDEX>5</CHANNEL_INDEX><INTERLEAVE_INDEX>3"
               "</INTERLEAVE_INDEX><NAME>$1 $' \xC3(</NAME></TRACK><TRACK><NAME>Lav</NAME></TRACK><TRACK><CHANNEL_INDEX>"
               "1</CHANNEL_INDEX><NAME>$&</NAME></TRACK></track_list><B/></BWFXML>",
        .layout = "bext|fmt |JUNK|ond1|iXML|data|ond2<ond3|LIST", .xmlRest = "<BWFXML><A/>@<B/></BWFXML>"},
    Row{.label = "list_inserted_before_the_root_end_after_the_data", .chunks = {"JUNK", "bext", "fmt ", "data", "axml"},
        .xml = "<BWFXML></BWFXML>", .layout = "fmt |JUNK|bext|data|iXML", .xmlRest = "<BWFXML>@</BWFXML>"},
    Row{.label = "list_appended_to_a_document_cut_short", .chunks = {"fmt ", "iXML", "data"}, .xml = "<BWFXML>",
        .layout = "fmt |iXML|data", .xmlRest = "<BWFXML>@"},
    Row{.label = "ebu_document_carried_and_ixml_added", .chunks = {"fmt ", "axml", "data"}, .xml = "<ebuCoreMain/>",
        .layout = "fmt |axml|iXML|data"},
    Row{.label = "reserved_space_kept_and_a_chunk_cut_by_the_end", .cut = 12u << 20,
        .chunks = {"fmt ", "iXML", "data", "JUNK"},
        .xml = "<BWFXML><TRACK_LIST>" + std::string(3000, ' ') + "</TRACK_LIST></BWFXML>" + std::string(99, '\0'),
        .layout = "fmt |iXML|data|JUNK", .xmlRest = "<BWFXML>@</BWFXML>"},
    Row{.label = "copy", .overwrite = false, .written = "Take_SLIM.bwf", .name = "Take.bwf"},
    Row{.label = "explicit_output_wins_over_overwrite", .output = "other.wav", .written = "other.wav"},
    Row{.label = "explicit_output_is_the_source", .overwrite = false, .output = "Take.Wav"},
    Row{.label = "no_empty_track", .tracks = "+", .overwrite = false, .message = noEmptyTracks},
    Row{.label = "every_track_empty", .tracks = "-", .message = allTracksEmpty},
    Row{.label = "adm_file", .chunks = {"fmt ", "chna", "data"}, .message = admNotChanged},
    Row{.label = "read_only_folder", .asNobody = true, .message = couldNotCreateOutput},
    Row{.label = "temporary_name_is_the_source", .overwrite = false, .output = "out.wav",
        .message = couldNotCreateOutput, .name = ".out_compressing.wav"},
    Row{.label = "output_is_the_source_folder", .output = ".", .message = couldNotWriteOutput},
    Row{.label = "a_chunk_declaring_four_gigabytes_holds_none", .bytes = WavBuilder().fmt({.bitsPerSample = 16})
        .data(pcmFrames(16, {{900}, {0}, {900}})).chunk({"JUNK", "", 0xFFFFFFFFu}).bytes(),
        .layout = "fmt |iXML|data|JUNK"},
    Row{.label = "disk_full_at_the_last_byte", .message = couldNotWriteOutput, .fault = Fault::diskFullAtLastByte},
    Row{.label = "source_vanishes", .message = couldNotOpenFile, .fault = Fault::sourceVanishes},
    Row{.label = "source_shrinks_before_the_copy", .overwrite = false, .message = couldNotReadSource,
        .fault = Fault::sourceShrinks},
    Row{.label = "chosen_by_hand_a_signal_removed_as_named", .fmt = {.channels = 4}, .tracks = "x++-", .frames = 999,
        .chunks = {"fmt ", "iXML", "data"}, .xml = "<TRACK_LIST><TRACK><NAME>A</NAME></TRACK><TRACK><NAME>B</NAME>"
        "</TRACK><TRACK><NAME>C</NAME></TRACK></TRACK_LIST>", .layout = "fmt |iXML|data"},
    // Files changed since the analysis a choice was made on: their layout (byte 24, the sample rate), then, at their
    // size, a sample of a kept track (its peak unchanged) and one of the silent track removed.
    Row{.label = "chosen_from_a_changed_layout", .fmt = {.channels = 4, .bitsPerSample = 16}, .tracks = "x++-",
        .chunks = {"fmt ", "data"}, .message = fileChanged, .change = [](auto& take) { take[24] ^= 1; }},
    Row{.label = "chosen_from_a_changed_kept_sample", .fmt = {.channels = 4, .bitsPerSample = 16}, .tracks = "x++-",
        .chunks = {"fmt ", "data"}, .message = fileChanged, .change = [](auto& take) { take[take.size() - 14] ^= 1; }},
    Row{.label = "chosen_from_a_changed_removed_sample", .fmt = {.channels = 4, .bitsPerSample = 16}, .tracks = "x++-",
        .chunks = {"fmt ", "data"}, .message = fileChanged, .change = [](auto& take) { take[take.size() - 2] ^= 1; }}),
    [](const auto& info) { return std::string(info.param.label); });

// Per-track lines of a bext Description follow their channels in the slimmed take; of twelve, 1, 3, 10 and 11 are
// kept. Other lines and the bytes after the Description stay; a Description without such lines is left byte for byte.
TEST(BextTrackLines, FollowTheirChannels) {
    const std::pair<std::string, std::string> cases[] = {
        {"sTRK1=A\r\nsTRK2=B\r\nsTRK3=C\r\n", "sTRK1=A\r\nsTRK2=C\r\n"},
        {"aTRK10=X\nzTRK11=Y\nnote\n", "aTRK3=X\nzTRK4=Y\nnote\n"},
        {"sTRK99=Z\nsTRK0=Q\nSTRK1=no\nsTRK1 =no\nsTRK01=end", "STRK1=no\nsTRK1 =no\nsTRK1=end"},
        {std::string("no track lines\n\0sTRK2=after the text", 37), std::string("no track lines\n\0sTRK2=after the text", 37)}};
    TempDir dir;
    for (const auto& [description, expected] : cases) {
        WavBuilder().chunk("bext", description + std::string(256 - description.size(), '\0') + "sTRK2=history")
            .fmt({.channels = 12}).data(pcmFrames(24, levelTracks("101000000110", 1))).write(dir / "t.wav");
        const std::string written = readFile(compressPolyWav(dir / "t.wav", true, 1e-4, {}));
        EXPECT_EQ(written.substr(written.find("bext") + 8, 269),
                  expected + std::string(256 - expected.size(), '\0') + "sTRK2=history");
    }
}

// The kept tracks' own TRACK elements, found by the naming's rule (the last one for a channel), with only their
// INTERLEAVE_INDEX renumbered or added; a fresh element where none describes a kept channel. A PEAK chunk whose
// size fits no channel count stays as it is.
TEST(TrackList, KeepsEachKeptTracksOwnElement) {
    const std::string e0 = "<TRACK><INTERLEAVE_INDEX>4</INTERLEAVE_INDEX><CHANNEL_INDEX>9</CHANNEL_INDEX>",
                      e2 = "<TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX><NAME>C</NAME>", e3 = "<TRACK><CHANNEL_INDEX>1";
    std::vector<detail::MetaChunk> chunks = {{detail::kIXML, "<BWFXML><TRACK_LIST>" + e0 + "<FUNCTION>S-MID_SIDE"
        "</FUNCTION></TRACK><track><NAME>B</NAME></track>" + e2 + "</TRACK>" + e3 + "</CHANNEL_INDEX><interleave_index> "
        "2</interleave_index></TRACK><TRACK><INTERLEAVE_INDEX>5</INTERLEAVE_INDEX></TRACK></TRACK_LIST></BWFXML>", {}}};
    detail::rewriteIxmlChunks(chunks, {"N2", "N3", "N4", "N5"}, {-1, 0, 1, 2, -1, 3});
    EXPECT_EQ(chunks.at(0).bytes, "<BWFXML><TRACK_LIST>\n  <TRACK_COUNT>4</TRACK_COUNT>\n  " + e3 +
        "</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX></TRACK>\n  " + e2 + "<INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>"
        "\n  </TRACK>\n  <TRACK><INTERLEAVE_INDEX>3</INTERLEAVE_INDEX><CHANNEL_INDEX>9</CHANNEL_INDEX><FUNCTION>S-MID_SIDE"
        "</FUNCTION></TRACK>\n  <TRACK>\n   <CHANNEL_INDEX>4</CHANNEL_INDEX>\n   <INTERLEAVE_INDEX>4</INTERLEAVE_INDEX>\n"
        "   <NAME>N5</NAME>\n   <FUNCTION>SINGLE</FUNCTION>\n  </TRACK>\n</TRACK_LIST></BWFXML>");
    std::string peak = "PEAK of a size fitting no count";
    detail::PeakChunk::keepChannels(peak, {0}, 2);
    EXPECT_EQ(peak, "PEAK of a size fitting no count");
}

// Each run slims a one-second take in place in a child that a file size limit stops after so many bytes (the last
// cut lets it finish) or that is killed after so long. The take's name must hold the original or the whole result,
// with no temporary file beside the result; a temporary file left by a death is stale for the next run.
TEST(CrashSafety, KilledAtAnyPointTheOriginalOrTheWholeResultRemains) {
    TempDir dir;
    const std::string original = levelTake("101101", 48000);
    writeFile(dir / "take.wav", original);
    const std::string slimmed = readFile(compressPolyWav(dir / "take.wav", false, 1e-4, dir / "slim.wav"));
    long runMicros = 0;  // of the run that the last cut lets finish
    for (std::size_t cut = 0, kills = 0; kills < 16; cut < 24 ? ++cut : ++kills) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit noCore{0, 0}, sizeLimit{slimmed.size() * cut / 23, slimmed.size() * cut / 23};
            ::setrlimit(RLIMIT_CORE, &noCore);
            if (cut < 24) ::setrlimit(RLIMIT_FSIZE, &sizeLimit);
            ::_exit(compressPolyWav(dir / "take.wav", true, 1e-4, {}).empty());
        }
        if (cut == 24) ::usleep(static_cast<useconds_t>(runMicros * (kills + 1) / 16)), ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (cut == 23) runMicros = (std::chrono::steady_clock::now() - start) / std::chrono::microseconds(1);
        const std::string now = readFile(dir / "take.wav");
        const bool whole = now == slimmed && std::distance(fs::directory_iterator(dir.path()), {}) == 2;
        EXPECT_TRUE(cut == 23 ? whole : now == original || (cut == 24 && whole)) << cut << " " << kills;
        writeFile(dir / "take.wav", original);
    }
}

}  // namespace quillon::testing
