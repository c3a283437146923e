// The tag matcher must give exactly what std::regex gives for the equivalent
// ECMAScript patterns with icase; these tests compare both on many short
// generated texts, then run the matcher on multi-megabyte text on a small stack.
#include "recorder_metadata.h"
#include "tag_matching.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::detail {
namespace {

constexpr auto kRegexFlags = std::regex::ECMAScript | std::regex::icase;
constexpr int kInputsPerCase = 10000;

// Short texts built from the pieces that make tag matching hard: the tags in
// any letter case, longer names sharing a prefix, attributes, unclosed and
// self-closing tags, every white-space byte, digits, slashes and stray bytes.
class TextGenerator {
public:
    // `bodies` holds texts that go between an element's tags.
    TextGenerator(std::vector<std::string> tags, std::vector<std::string> bodies, std::uint32_t stream)
        : tags_(std::move(tags)), bodies_(std::move(bodies)), random_(stream) {}

    // Random pieces, half of the time around an element that is well formed
    // but for a random flaw or two, so that matches and near misses both abound.
    std::string next() {
        std::string text = pieces(0, 6);
        if (pick(0, 1) == 1) {
            text += element();
        }
        return text + pieces(0, 6);
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

private:
    const std::string& pickFrom(const std::vector<std::string>& choices) {
        return choices[static_cast<std::size_t>(pick(0, static_cast<int>(choices.size()) - 1))];
    }

    std::string anyCase(std::string_view word) {
        std::string result(word);
        for (char& c : result) {
            if (pick(0, 1) == 1 && c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return result;
    }

    std::string digits() {
        std::string result;
        const int count = pick(1, 3);
        for (int i = 0; i < count; ++i) {
            result += static_cast<char>('0' + pick(0, 9));
        }
        return result;
    }

    std::string pieces(int low, int high) {
        std::string text;
        const int count = pick(low, high);
        for (int i = 0; i < count; ++i) {
            text += piece();
        }
        return text;
    }

    std::string randomTag() {
        return anyCase(pickFrom(tags_));
    }

    std::string element() {
        static const std::vector<std::string> openEnds = {">", ">", ">", ">", ">", " a=\"1\">", "\t>", "S>", "/>", ""};
        static const std::vector<std::string> closeEnds = {">", ">", ">", ">", ">", "", "S>", " >"};
        const std::string tag = randomTag();
        std::string text = "<" + tag + pickFrom(openEnds);
        std::string body = pickFrom(bodies_);
        if (pick(0, 3) == 0) {
            body.insert(static_cast<std::size_t>(pick(0, static_cast<int>(body.size()))), piece());
        }
        text += body;
        const std::string closeTag = pick(0, 7) == 0 ? randomTag() : tag;
        return text + "</" + closeTag + pickFrom(closeEnds);
    }

    std::string piece() {
        static const std::vector<std::string> strays = {
            " ", "\t", "\n", "\v", "\f", "\r", "/", " / ", "<", ">", "</", "_", "x", "DF", "df", "D F",
            "\xC3\xA9", std::string(1, '\0'), "\xA0", "-", ".", "=", "\"",
        };
        const std::string tag = randomTag();
        switch (pick(0, 17)) {
            case 0:
            case 1:
            case 2: return "<" + tag + ">";
            case 3:
            case 4:
            case 5: return "</" + tag + ">";
            case 6: return "<" + tag + " id=\"" + digits() + "\">";
            case 7: return "<" + tag + "/>";
            case 8: return "<" + tag + (pick(0, 1) == 1 ? "_LIST>" : "S>");
            case 9: return "</" + tag + (pick(0, 1) == 1 ? "_list>" : "s>");
            case 10: return "<" + tag;
            case 11: return "</" + tag;
            case 12: return tag;
            case 13:
            case 14:
            case 15: return digits();
            default: return pickFrom(strays);
        }
    }

    std::vector<std::string> tags_;
    std::vector<std::string> bodies_;
    std::mt19937 random_;
};

// What std::regex found, in the shape of a TagMatch.
struct RegexResult {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string group1;
    std::optional<std::string> group2;
};

std::optional<RegexResult> regexSearch(const std::string& text, const std::regex& pattern, std::size_t from = 0) {
    std::smatch match;
    const auto flags = from > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
    if (!std::regex_search(text.cbegin() + static_cast<std::ptrdiff_t>(from), text.cend(), match, pattern, flags)) {
        return std::nullopt;
    }
    RegexResult result;
    result.begin = from + static_cast<std::size_t>(match.position(0));
    result.end = result.begin + static_cast<std::size_t>(match.length(0));
    if (match.size() > 1) {
        result.group1 = match.str(1);
    }
    if (match.size() > 2 && match[2].matched) {
        result.group2 = match.str(2);
    }
    return result;
}

std::string printable(std::string_view text) {
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            result += c;
        } else {
            result += "\\x" + std::string(1, "0123456789abcdef"[byte >> 4]) + "0123456789abcdef"[byte & 15];
        }
    }
    return result;
}

void expectSameMatch(const std::optional<TagMatch>& actual, const std::optional<RegexResult>& expected,
                     const std::string& text) {
    ASSERT_EQ(actual.has_value(), expected.has_value()) << printable(text);
    if (!expected) {
        return;
    }
    EXPECT_EQ(actual->begin, expected->begin) << printable(text);
    EXPECT_EQ(actual->end, expected->end) << printable(text);
    EXPECT_EQ(std::string(actual->group1), expected->group1) << printable(text);
    ASSERT_EQ(actual->group2.has_value(), expected->group2.has_value()) << printable(text);
    if (expected->group2) {
        EXPECT_EQ(std::string(*actual->group2), *expected->group2) << printable(text);
    }
}

// Runs one comparison per generated text and checks that the texts hit both
// outcomes often enough for the comparison to mean something.
void compareOnGeneratedTexts(std::vector<std::string> tags, std::vector<std::string> bodies, std::uint32_t stream,
                             const std::function<bool(const std::string&)>& compare) {
    TextGenerator generator(std::move(tags), std::move(bodies), stream);
    int found = 0;
    for (int i = 0; i < kInputsPerCase; ++i) {
        if (compare(generator.next())) {
            ++found;
        }
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    EXPECT_GT(found, kInputsPerCase / 20);
    EXPECT_LT(found, kInputsPerCase - kInputsPerCase / 20);
}

const std::vector<std::string> kSpaceRuns = {"", " ", "\t\n", "\v\f\r "};

// Every white-space run around `cores`, then flawed variants.
std::vector<std::string> spacedBodies(const std::vector<std::string>& cores, std::vector<std::string> flawed) {
    std::vector<std::string> bodies = std::move(flawed);
    for (const std::string& before : kSpaceRuns) {
        for (const std::string& core : cores) {
            for (const std::string& after : kSpaceRuns) {
                bodies.push_back(before + core + after);
            }
        }
    }
    return bodies;
}

std::vector<std::string> numberBodies() {
    return spacedBodies({"0", "7", "42", "007"}, {"", "x", "4 2", "-1", "1.5", "+3", "1e3", "\xA0" "5", "/"});
}

std::vector<std::string> rateBodies() {
    return spacedBodies({"25", "24000/1001", "30 / 1", "0\t/\n0", "007/", "/1001"},
                        {"", "29.97", "1//2", "30000/ x", "2 5", "25/1/1"});
}

// Bodies around `value` as written and in lower case.
std::vector<std::string> valueBodies(const std::string& value) {
    std::string lower = value;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return spacedBodies({value, lower}, {"", "NDF", "DFX", "\xA0" "DF", "D\tF", "DF DF"});
}

std::vector<std::string> anyBodies() {
    return {"",  " ",        "\n\v", "x",       "<",        "</",        "/",
            ">", "<NAME>a</NAME>",   "</name>", "<TRACK>", "</Track>", "<track_list/>"};
}

// The ECMAScript format string that inserts `text` unchanged.
std::string literalFormat(std::string_view text) {
    std::string format;
    for (const char c : text) {
        format += c;
        if (c == '$') {
            format += '$';
        }
    }
    return format;
}

TEST(TagMatchingTest, NumberElementMatchesRegex) {
    for (const std::string tag : {"CHANNEL_INDEX", "TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO"}) {
        const std::regex pattern("<" + tag + ">\\s*([0-9]+)\\s*</" + tag + ">", kRegexFlags);
        compareOnGeneratedTexts({tag, "NAME"}, numberBodies(), 11, [&](const std::string& text) {
            const auto expected = regexSearch(text, pattern);
            expectSameMatch(searchNumberElement(text, tag), expected, text);
            return expected.has_value();
        });
    }
}

TEST(TagMatchingTest, RateElementMatchesRegex) {
    const std::regex pattern("<TIMECODE_RATE>\\s*([0-9]+)\\s*(?:/\\s*([0-9]+))?\\s*</TIMECODE_RATE>", kRegexFlags);
    compareOnGeneratedTexts({"TIMECODE_RATE"}, rateBodies(), 12, [&](const std::string& text) {
        const auto expected = regexSearch(text, pattern);
        expectSameMatch(searchRateElement(text), expected, text);
        return expected.has_value();
    });
}

TEST(TagMatchingTest, ElementValueMatchesRegex) {
    struct Case {
        std::string value;
        std::string valuePattern;
    };
    for (const Case& c : {Case{"DF", "DF"}, Case{"D F", "D F"}, Case{" DF", " DF"}, Case{"DF\t", "DF\\t"},
                          Case{"  ", "  "}}) {
        const std::regex pattern("<TIMECODE_FLAG>\\s*" + c.valuePattern + "\\s*</TIMECODE_FLAG>", kRegexFlags);
        compareOnGeneratedTexts({"TIMECODE_FLAG"}, valueBodies(c.value), 13, [&](const std::string& text) {
            const bool expected = std::regex_search(text, pattern);
            EXPECT_EQ(containsElementValue(text, "TIMECODE_FLAG", c.value), expected)
                << printable(text) << " value '" << printable(c.value) << "'";
            return expected;
        });
    }
}

TEST(TagMatchingTest, ElementMatchesRegexFromAnyOffset) {
    for (const std::string tag : {"TRACK", "TRACK_LIST"}) {
        const std::regex pattern("<" + tag + "\\b[\\s\\S]*?</" + tag + ">", kRegexFlags);
        TextGenerator offsets({}, {}, 14);
        compareOnGeneratedTexts({"TRACK", "TRACK_LIST", "NAME"}, anyBodies(), 15, [&](const std::string& text) {
            const int last = offsets.pick(0, 1) == 0 ? 0 : static_cast<int>(text.size());
            const auto from = static_cast<std::size_t>(offsets.pick(0, last));
            const auto expected = regexSearch(text, pattern, from);
            expectSameMatch(searchElement(text, tag, from), expected, text);
            return expected.has_value();
        });
    }
}

TEST(TagMatchingTest, ElementTextMatchesRegex) {
    const std::regex pattern("<NAME>([\\s\\S]*?)</NAME>", kRegexFlags);
    compareOnGeneratedTexts({"NAME", "TRACK"}, anyBodies(), 16, [&](const std::string& text) {
        const auto expected = regexSearch(text, pattern);
        expectSameMatch(searchElementText(text, "NAME"), expected, text);
        return expected.has_value();
    });
}

TEST(TagMatchingTest, ReplaceElementsMatchesRegexReplace) {
    const std::regex pattern("<TRACK_LIST\\b[\\s\\S]*?</TRACK_LIST>", kRegexFlags);
    const std::string replacement = "<TRACK_LIST>$& $1 $$</TRACK_LIST>";
    compareOnGeneratedTexts({"TRACK_LIST", "TRACK"}, anyBodies(), 17, [&](const std::string& text) {
        const bool expected = std::regex_search(text, pattern);
        const std::optional<std::string> actual = replaceElements(text, "TRACK_LIST", replacement);
        EXPECT_EQ(actual.has_value(), expected) << printable(text);
        if (actual && expected) {
            EXPECT_EQ(*actual, std::regex_replace(text, pattern, literalFormat(replacement))) << printable(text);
        }
        return expected;
    });
}

TEST(TagMatchingTest, ReplaceLiteralMatchesRegexReplace) {
    for (const std::string literal : {"</BWFXML>", "aA"}) {
        const std::regex pattern(literal, kRegexFlags);
        const std::string replacement = "[$&]\n</BWFXML>";
        compareOnGeneratedTexts({"BWFXML", "AAA", "A"}, anyBodies(), 18, [&](const std::string& text) {
            const bool expected = std::regex_search(text, pattern);
            const std::optional<std::string> actual = replaceLiteral(text, literal, replacement);
            EXPECT_EQ(actual.has_value(), expected) << printable(text);
            if (actual && expected) {
                EXPECT_EQ(*actual, std::regex_replace(text, pattern, literalFormat(replacement))) << printable(text);
            }
            return expected;
        });
    }
}

TEST(TagMatchingTest, EmptyLiteralIsNeverFound) {
    EXPECT_FALSE(replaceLiteral("abc", "", "x").has_value());
}

// Runs `work` on a thread whose stack is as small as a worker thread's may be.
void runOnSmallStack(std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 512 * 1024), 0);
    pthread_t thread;
    const auto start = [](void* argument) -> void* {
        (*static_cast<std::function<void()>*>(argument))();
        return nullptr;
    };
    const int created = pthread_create(&thread, &attributes, start, &work);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(created, 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

std::string filler(std::size_t bytes) {
    const std::string line = "  <NOTE>scene 12 take 3, wind noise</NOTE>\n  <!-- <TRACK -->\n";
    std::string text;
    while (text.size() < bytes) {
        text += line;
    }
    return text;
}

TEST(TagMatchingTest, MultiMegabyteMetadataOnSmallStack) {
    const std::string ixml = "<BWFXML>\n" + filler(1 << 20) +
                             "<TIMECODE_RATE>25/1</TIMECODE_RATE>\n"
                             "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>48000</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>\n"
                             "<TRACK_LIST>\n<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX>\n" +
                             filler(3 << 20) + "<NAME>Boom</NAME></TRACK>\n</TRACK_LIST>\n</BWFXML>\n";
    const std::string unclosed = "<BWFXML><TRACK_LIST><TRACK><NAME>" + filler(4 << 20);
    ASSERT_GE(ixml.size(), std::size_t{4} << 20);

    TimecodeSource source;
    std::vector<std::string> names;
    std::vector<std::string> unclosedNames;
    std::optional<std::string> replaced;
    std::optional<std::string> unclosedReplaced;
    std::function<void()> work = [&] {
        readTimecodeMetadata(ixml, source);
        names = readTrackNames(ixml, 2);
        unclosedNames = readTrackNames(unclosed, 2);
        replaced = replaceElements(ixml, "TRACK_LIST", "<TRACK_LIST/>");
        unclosedReplaced = replaceElements(unclosed, "TRACK_LIST", "<TRACK_LIST/>");
    };
    runOnSmallStack(work);

    EXPECT_EQ(source.rateNumerator, 25u);
    EXPECT_EQ(source.timeReference, 48000u);
    EXPECT_EQ(formatStartTimecode(source, 48000), "00:00:01:00");
    EXPECT_EQ(names, (std::vector<std::string>{"Track 1", "Boom"}));
    EXPECT_EQ(unclosedNames, (std::vector<std::string>{"Track 1", "Track 2"}));
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(replaced->substr(replaced->size() - 24), "<TRACK_LIST/>\n</BWFXML>\n");
    EXPECT_FALSE(unclosedReplaced.has_value());
}

}  // namespace
}  // namespace quillon::detail
