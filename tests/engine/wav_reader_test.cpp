#include <gtest/gtest.h>

#include "allocation_probe.h"
#include "wav_builder.h"
#include "wav_reader.h"

namespace {

using namespace quillon::testing;
using quillon::detail::openWav;
using quillon::detail::WavFile;

std::string stereo16() { return pcmFrames(16, {{1, 2, 3}, {4, 5, 6}}); }

FmtSpec fmt16() { return FmtSpec{.formatTag = 1, .channels = 2, .bitsPerSample = 16}; }

struct RefusalCase {
    const char* label;
    std::string bytes;
    const char* error;
};

TEST(OpenWav, RefusesEveryBadFileWithItsText) {
    const RefusalCase cases[] = {
        {"too short", "RIFF\x04\0\0\0WAV", "Not a RIFF/WAVE file"},
        {"not RIFF", WavBuilder().fmt(fmt16()).data(stereo16()).bytes().replace(0, 4, "RIFX"), "Not a RIFF/WAVE file"},
        {"RF64", WavBuilder().fmt(fmt16()).data(stereo16()).bytes().replace(0, 4, "RF64"), "Not a RIFF/WAVE file"},
        {"not WAVE", WavBuilder().formType("AVI ").fmt(fmt16()).data(stereo16()).bytes(), "Not a RIFF/WAVE file"},
        {"fmt shorter than 16", WavBuilder().chunk("fmt ", fmt16().payload().substr(0, 14)).data(stereo16()).bytes(),
         "Invalid fmt chunk"},
        {"fmt cut by the end of file", WavBuilder().data(stereo16()).fmt(fmt16()).truncateTo(12 + 8 + 12 + 8 + 10).bytes(),
         "Invalid fmt chunk"},
        {"header only", WavBuilder().bytes(), "Missing fmt or data chunk"},
        {"no data", WavBuilder().fmt(fmt16()).bytes(), "Missing fmt or data chunk"},
        {"no fmt", WavBuilder().data(stereo16()).bytes(), "Missing fmt or data chunk"},
        {"zero channels", WavBuilder().fmt({.formatTag = 3, .channels = 0, .bitsPerSample = 32, .blockAlign = 8}).data("").bytes(),
         "Invalid format"},
        {"zero block align", WavBuilder().fmt({.channels = 2, .bitsPerSample = 16, .blockAlign = 0}).data("").bytes(),
         "Invalid format"},
        {"zero bits", WavBuilder().fmt({.channels = 2, .bitsPerSample = 0, .blockAlign = 4}).data("").bytes(),
         "Invalid format"},
        {"ADPCM", WavBuilder().fmt({.formatTag = 2, .channels = 2, .bitsPerSample = 4, .blockAlign = 1024}).data("").bytes(),
         "Unsupported WAV format (need PCM or IEEE float)"},
        {"short extensible fmt", WavBuilder().fmt({.formatTag = 0xFFFE, .channels = 2, .bitsPerSample = 16, .size = 18}).data("").bytes(),
         "Unsupported WAV format (need PCM or IEEE float)"},
        {"8-bit PCM", WavBuilder().fmt({.channels = 2, .bitsPerSample = 8}).data("").bytes(), "Unsupported bit depth"},
        {"64-bit float", WavBuilder().fmt({.formatTag = 3, .channels = 2, .bitsPerSample = 64}).data("").bytes(),
         "Unsupported bit depth"},
        {"24-bit float", WavBuilder().fmt({.formatTag = 3, .channels = 2, .bitsPerSample = 24}).data("").bytes(),
         "Unsupported bit depth"},
        {"block align smaller than a frame", WavBuilder().fmt({.channels = 8, .bitsPerSample = 24, .blockAlign = 3}).data("").bytes(),
         "Invalid format"},
        {"65535 channels in one byte", WavBuilder().fmt({.channels = 65535, .bitsPerSample = 16, .blockAlign = 1}).data("").bytes(),
         "Invalid format"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeFile(dir / "f.wav", c.bytes);
        WavFile wav;
        EXPECT_FALSE(openWav(dir / "f.wav", wav)) << c.label;
        EXPECT_EQ(wav.error, c.error) << c.label;
    }
    WavFile missing;
    EXPECT_FALSE(openWav(dir / "absent.wav", missing));
    EXPECT_EQ(missing.error, "Could not open file");
}

struct LayoutCase {
    const char* label;
    std::string bytes;
    std::uint16_t format;
    std::uint64_t dataSize;
    std::string ixml;
    bool hasTimeReference;
    std::uint64_t timeReference;
};

TEST(OpenWav, FindsFormatDataAndMetadataAnywhere) {
    const std::string odd = "abc";  // odd payload: a pad byte follows
    const LayoutCase cases[] = {
        {"fmt after data, iXML after data",
         WavBuilder().data(stereo16()).fmt(fmt16()).chunk("iXML", "<BWFXML/>").bytes(), 1, 12, "<BWFXML/>", false, 0},
        {"odd chunk before fmt", WavBuilder().chunk("JUNK", odd).fmt(fmt16()).data(stereo16()).bytes(), 1, 12, "", false, 0},
        {"extensible float", WavBuilder().fmt({.formatTag = 0xFFFE, .channels = 2, .bitsPerSample = 32, .subFormat = 3})
                                 .data(std::string(16, '\0')).bytes(), 3, 16, "", false, 0},
        {"bext of 345 bytes", WavBuilder().chunk("bext", bextPayload(99, 345)).fmt(fmt16()).data(stereo16()).bytes(), 1, 12, "", false, 0},
        {"bext of 346 bytes", WavBuilder().chunk("bext", bextPayload(99, 346)).fmt(fmt16()).data(stereo16()).bytes(), 1, 12, "", true, 99},
        {"later bext replaces", WavBuilder().chunk("bext", bextPayload(1)).fmt(fmt16()).data(stereo16()).chunk("bext", bextPayload(2)).bytes(),
         1, 12, "", true, 2},
        {"short later bext keeps", WavBuilder().chunk("bext", bextPayload(1)).fmt(fmt16()).data(stereo16()).chunk("bext", bextPayload(2, 300)).bytes(),
         1, 12, "", true, 1},
        {"last XML chunk wins", WavBuilder().chunk("iXML", "first").fmt(fmt16()).data(stereo16()).chunk("axml", "second").bytes(),
         1, 12, "second", false, 0},
        {"data longer than the file", WavBuilder().fmt(fmt16()).data(stereo16(), 1000000).bytes(), 1, 1000000, "", false, 0},
        {"ends after the data header", WavBuilder().fmt(fmt16()).data("", 4000).bytes(), 1, 4000, "", false, 0},
        {"lower-case xml id is opaque", WavBuilder().chunk("ixml", "no").fmt(fmt16()).data(stereo16()).bytes(), 1, 12, "", false, 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeFile(dir / "f.wav", c.bytes);
        WavFile wav;
        ASSERT_TRUE(openWav(dir / "f.wav", wav)) << c.label << ": " << wav.error;
        EXPECT_EQ(wav.fmt.formatCode, c.format) << c.label;
        EXPECT_EQ(wav.dataSize, c.dataSize) << c.label;
        EXPECT_EQ(wav.ixml, c.ixml) << c.label;
        EXPECT_EQ(wav.hasTimeReference, c.hasTimeReference) << c.label;
        EXPECT_EQ(wav.timeReference, c.timeReference) << c.label;
    }
}

TEST(OpenWav, ChunkCutByTheEndOfFileEndsTheWalk) {
    TempDir dir;
    // A bext that declares 4 GiB in a small file: the time reference comes from
    // the zero-filled rest, and no buffer grows with the declared size.
    const auto bytes = WavBuilder()
                           .fmt(fmt16())
                           .data(stereo16())
                           .chunk(Chunk{"bext", bextPayload(7, 346).substr(0, 342), 0xFFFFFFFFu, false})
                           .bytes();
    writeFile(dir / "f.wav", bytes);
    WavFile wav;
    AllocationProbe probe;
    ASSERT_TRUE(openWav(dir / "f.wav", wav)) << wav.error;
    EXPECT_LT(probe.largestRequest(), 64u * 1024);
    EXPECT_TRUE(wav.hasTimeReference);
    EXPECT_EQ(wav.timeReference, 7u);
}

TEST(OpenWav, LyingXmlSizeCostsNoMemory) {
    TempDir dir;
    const auto bytes =
        WavBuilder().fmt(fmt16()).data(stereo16()).chunk(Chunk{"iXML", "<BWFXML>", 0xFFFFFFF0u, false}).bytes();
    writeFile(dir / "f.wav", bytes);
    WavFile wav;
    AllocationProbe probe;
    ASSERT_TRUE(openWav(dir / "f.wav", wav));
    EXPECT_LT(probe.largestRequest(), 64u * 1024);
    EXPECT_EQ(wav.ixml, "<BWFXML>");
}

}  // namespace
