#include "ixml_rewrite.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace quillon::detail {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kKeptNames = {"Boom", "Lav 2"};
// Source channels 0 and 2 stay as outputs 0 and 1; channel 1 is dropped.
const std::vector<std::int32_t> kChannelMap = {0, -1, 1};

const std::string kKeptList =
    "<TRACK_LIST>\n"
    "  <TRACK_COUNT>2</TRACK_COUNT>\n"
    "  <TRACK>\n"
    "   <CHANNEL_INDEX>1</CHANNEL_INDEX>\n"
    "   <INTERLEAVE_INDEX>1</INTERLEAVE_INDEX>\n"
    "   <NAME>Boom</NAME>\n"
    "   <FUNCTION>SINGLE</FUNCTION>\n"
    "  </TRACK>\n"
    "  <TRACK>\n"
    "   <CHANNEL_INDEX>2</CHANNEL_INDEX>\n"
    "   <INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>\n"
    "   <NAME>Lav 2</NAME>\n"
    "   <FUNCTION>SINGLE</FUNCTION>\n"
    "  </TRACK>\n"
    "</TRACK_LIST>";

const std::string kKeptDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n" + kKeptList + "\n</BWFXML>\n";

MetaChunk rewriteOne(MetaChunk chunk) {
    std::vector<MetaChunk> chunks{std::move(chunk)};
    rewriteIxmlChunks(chunks, kKeptNames, kChannelMap);
    EXPECT_EQ(chunks.size(), 1u);
    return chunks.empty() ? MetaChunk{} : chunks.front();
}

std::string idOf(const MetaChunk& chunk) { return std::string(chunk.id.view()); }

TEST(BuildTrackList, ListsTheNamesAsChannelsOneToN) {
    EXPECT_EQ(buildTrackListInner(kKeptNames), kKeptList);
    EXPECT_EQ(buildTrackListInner({}), "<TRACK_LIST>\n  <TRACK_COUNT>0</TRACK_COUNT>\n</TRACK_LIST>");
}

TEST(BuildTrackList, DocumentHoldsOnlyTheListInABwfxmlRoot) {
    EXPECT_EQ(buildTrackListIxml(kKeptNames), kKeptDocument);
}

TEST(BuildTrackList, NamesAreInsertedByteForByte) {
    const std::string list = buildTrackListInner({"$&", "$1", "a &amp; b", "Bo\xC3\xB6m\n2"});
    for (const char* name : {"$&", "$1", "a &amp; b", "Bo\xC3\xB6m\n2"})
        EXPECT_NE(list.find("<NAME>"s + name + "</NAME>"), std::string::npos) << name;
}

struct TextCase {
    const char* label;
    std::string source;
    std::string expected;
};

class RewriteXmlText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RewriteXmlText, PutsTheKeptListInPlaceAndLeavesTheRestUnchanged) {
    const MetaChunk rewritten = rewriteOne({kIXML, GetParam().source, 0});
    EXPECT_EQ(idOf(rewritten), "iXML");
    EXPECT_EQ(rewritten.bytes, GetParam().expected);
    EXPECT_EQ(rewritten.zeroTail, 0u);
}

const std::string kOldList =
    "<TRACK_LIST>\n<TRACK_COUNT>3</TRACK_COUNT>\n"
    "<TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>\n"
    "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Lav 1</NAME></TRACK>\n"
    "<TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX><NAME>Lav 2</NAME></TRACK>\n</TRACK_LIST>";

INSTANTIATE_TEST_SUITE_P(
    Cases, RewriteXmlText,
    ::testing::Values(
        TextCase{"list replaced", "<BWFXML><SCENE>12</SCENE>\r\n" + kOldList + "<TAKE>3</TAKE></BWFXML>\n",
                 "<BWFXML><SCENE>12</SCENE>\r\n" + kKeptList + "<TAKE>3</TAKE></BWFXML>\n"},
        TextCase{"every list replaced", "<BWFXML>" + kOldList + "<X/>" + kOldList + "</BWFXML>",
                 "<BWFXML>" + kKeptList + "<X/>" + kKeptList + "</BWFXML>"},
        TextCase{"lower case with attributes", "<bwfxml><track_list count=\"3\">old</Track_List></bwfxml>",
                 "<bwfxml>" + kKeptList + "</bwfxml>"},
        TextCase{"longer tag name is no list", "<BWFXML><TRACK_LISTS>x</TRACK_LISTS></BWFXML>",
                 "<BWFXML><TRACK_LISTS>x</TRACK_LISTS>" + kKeptList + "\n</BWFXML>"},
        TextCase{"unclosed list is no list", "<BWFXML><TRACK_LIST><TRACK/></BWFXML>",
                 "<BWFXML><TRACK_LIST><TRACK/>" + kKeptList + "\n</BWFXML>"},
        TextCase{"root without list", "<?xml version=\"1.0\"?>\n<BWFXML>\n<PROJECT>P</PROJECT>\n</BWFXML>\n",
                 "<?xml version=\"1.0\"?>\n<BWFXML>\n<PROJECT>P</PROJECT>\n" + kKeptList + "\n</BWFXML>\n"},
        TextCase{"lower-case root end", "<bwfxml><A/></bwfxml>", "<bwfxml><A/>" + kKeptList + "\n</BWFXML>"},
        TextCase{"neither list nor root", "<ebucore>x</ebucore>", "<ebucore>x</ebucore>\n" + kKeptList + "\n"},
        TextCase{"inner zero bytes stay", "<A>\0\0</A>"s, "<A>\0\0</A>\n"s + kKeptList + "\n"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(RewriteIxmlChunks, GivesTheNewListOfAnEightTrackRecorder) {
    std::string list = "<TRACK_LIST><TRACK_COUNT>8</TRACK_COUNT>";
    for (int i = 1; i <= 8; ++i)
        list += "<TRACK><CHANNEL_INDEX>" + std::to_string(i) + "</CHANNEL_INDEX><NAME>T" + std::to_string(i) +
                "</NAME></TRACK>";
    list += "</TRACK_LIST>";
    const std::string before = "<BWFXML><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED>";
    const std::string after = "<HISTORY>x</HISTORY></BWFXML>";

    std::vector<MetaChunk> chunks{{kIXML, before + list + after, 0}};
    rewriteIxmlChunks(chunks, {"T2", "T3", "T6"}, {-1, 0, 1, -1, -1, 2, -1, -1});

    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].bytes, before + buildTrackListInner({"T2", "T3", "T6"}) + after);
    EXPECT_NE(chunks[0].bytes.find("<TRACK_COUNT>3</TRACK_COUNT>"), std::string::npos);
}

TEST(RewriteIxmlChunks, EveryXmlIdentifierBecomesIxmlAndKeepsItsPlace) {
    std::vector<MetaChunk> chunks{{FourCC{"JUNK"}, "j", 0},    {FourCC{"axml"}, "<ebucore/>", 0},
                                  {FourCC{"LIST"}, "l", 0},    {FourCC{"IXML"}, "<BWFXML></BWFXML>", 0},
                                  {FourCC{"AXML"}, "<x/>", 0}, {kIXML, "<BWFXML>" + kOldList + "</BWFXML>", 0}};
    rewriteIxmlChunks(chunks, kKeptNames, kChannelMap);

    ASSERT_EQ(chunks.size(), 6u);
    const std::vector<std::string> ids = {"JUNK", "iXML", "LIST", "iXML", "iXML", "iXML"};
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(idOf(chunks[i]), ids[i]) << i;
    EXPECT_EQ(chunks[0].bytes, "j");
    EXPECT_EQ(chunks[1].bytes, "<ebucore/>\n" + kKeptList + "\n");
    EXPECT_EQ(chunks[2].bytes, "l");
    EXPECT_EQ(chunks[3].bytes, "<BWFXML>" + kKeptList + "\n</BWFXML>");
    EXPECT_EQ(chunks[5].bytes, "<BWFXML>" + kKeptList + "</BWFXML>");
}

TEST(RewriteIxmlChunks, ReservedSpaceOnlyBecomesAFreshDocument) {
    for (const MetaChunk& reserved : {MetaChunk{kIXML, std::string(4096, '\0'), 0}, MetaChunk{kIXML, "", 0},
                                      MetaChunk{kIXML, std::string(10, '\0'), 5000}}) {
        const MetaChunk rewritten = rewriteOne(reserved);
        EXPECT_EQ(rewritten.bytes, kKeptDocument);
        EXPECT_EQ(rewritten.zeroTail, 0u);
    }
}

TEST(RewriteIxmlChunks, PadsWithZerosBackToTheOldPayloadSize) {
    const std::string text = "<BWFXML><TRACK_LIST>" + std::string(3000, ' ') + "</TRACK_LIST></BWFXML>";
    const std::string expected = "<BWFXML>" + kKeptList + "</BWFXML>";
    ASSERT_LT(expected.size(), text.size());

    const MetaChunk fromZeroBytes = rewriteOne({kIXML, text + std::string(100, '\0'), 0});
    EXPECT_EQ(fromZeroBytes.bytes, expected);
    EXPECT_EQ(fromZeroBytes.size(), text.size() + 100);

    // A chunk cut short by the end of the file: its missing bytes count as zeros.
    const MetaChunk fromMissingBytes = rewriteOne({kIXML, text, 70000});
    EXPECT_EQ(fromMissingBytes.bytes, expected);
    EXPECT_EQ(fromMissingBytes.size(), text.size() + 70000);

    const MetaChunk grown = rewriteOne({kIXML, "<BWFXML></BWFXML>\0\0"s, 0});
    EXPECT_EQ(grown.bytes, "<BWFXML>" + kKeptList + "\n</BWFXML>");
    EXPECT_EQ(grown.zeroTail, 0u);
}

TEST(RewriteIxmlChunks, TrackNamesGoInLiterally) {
    std::vector<MetaChunk> chunks{{kIXML, "<BWFXML>" + kOldList + "</BWFXML>", 0}};
    rewriteIxmlChunks(chunks, {"$&", "$1 $$ $'"}, kChannelMap);
    EXPECT_EQ(chunks[0].bytes, "<BWFXML>" + buildTrackListInner({"$&", "$1 $$ $'"}) + "</BWFXML>");
    EXPECT_NE(chunks[0].bytes.find("<NAME>$1 $$ $'</NAME>"), std::string::npos);
}

TEST(RewriteIxmlChunks, PerChannelChunksFollowTheirChannelOrGo) {
    std::vector<MetaChunk> chunks;
    for (const char* id : {"ond1", "ond2", "ond3", "ond4", "ond9", "ond0", "onda", "OND3", "LIST"})
        chunks.push_back({FourCC::fromBytes(id), std::string("payload of ") + id, 0});
    rewriteIxmlChunks(chunks, kKeptNames, kChannelMap);

    std::vector<std::pair<std::string, std::string>> result;
    for (const MetaChunk& chunk : chunks) result.emplace_back(idOf(chunk), chunk.bytes);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ond1", "payload of ond1"}, {"ond2", "payload of ond3"}, {"ond0", "payload of ond0"},
        {"onda", "payload of onda"}, {"OND3", "payload of OND3"}, {"LIST", "payload of LIST"}};
    EXPECT_EQ(result, expected);
}

TEST(RewriteIxmlChunks, MultiMegabyteDocumentsAreRewritten) {
    std::string manyTracks = "<BWFXML><TRACK_LIST>";
    while (manyTracks.size() < (4u << 20)) manyTracks += "<TRACK><NAME>n</NAME></TRACK>\n";
    manyTracks += "</TRACK_LIST></BWFXML>";
    EXPECT_EQ(rewriteOne({kIXML, manyTracks, 0}).bytes, "<BWFXML>" + kKeptList + "</BWFXML>");

    std::string unclosed = "<BWFXML>";
    while (unclosed.size() < (4u << 20)) unclosed += "<TRACK_LIST a>";
    EXPECT_EQ(rewriteOne({kIXML, unclosed + "</BWFXML>", 0}).bytes, unclosed + kKeptList + "\n</BWFXML>");
}

}  // namespace
}  // namespace quillon::detail
