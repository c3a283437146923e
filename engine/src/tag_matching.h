// Case-insensitive searches for the few iXML element shapes the engine reads
// and rewrites. They give exactly the leftmost-match results of the
// equivalent ECMAScript patterns (noted on each function), but run in time
// linear in the text and constant stack, so multi-megabyte metadata is safe
// on small worker-thread stacks. Tag names are matched with ASCII case
// folding; \s is space, \t, \n, \v, \f, \r; \b is the ASCII word boundary.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::detail {

struct TagMatch {
    std::size_t begin = 0;  // offset of the whole match in the searched text
    std::size_t end = 0;    // one past its last byte
    std::string_view group1;
    std::optional<std::string_view> group2;  // set only when it took part in the match
};

// "<TAG>\s*([0-9]+)\s*</TAG>"
std::optional<TagMatch> searchNumberElement(std::string_view text, std::string_view tag);

// "<TIMECODE_RATE>\s*([0-9]+)\s*(?:/\s*([0-9]+))?\s*</TIMECODE_RATE>"
std::optional<TagMatch> searchRateElement(std::string_view text);

// "<TAG>\s*VALUE\s*</TAG>" with VALUE matched case-insensitively.
bool containsElementValue(std::string_view text, std::string_view tag, std::string_view value);

// "<TAG\b[\s\S]*?</TAG>" searched from `from` on; group1 is empty.
std::optional<TagMatch> searchElement(std::string_view text, std::string_view tag, std::size_t from = 0);

// "<TAG>([\s\S]*?)</TAG>"; group1 is the raw text between the tags.
std::optional<TagMatch> searchElementText(std::string_view text, std::string_view tag);

// Every non-overlapping "<TAG\b[\s\S]*?</TAG>" replaced by `replacement`,
// taken literally. nullopt when there is no match.
std::optional<std::string> replaceElements(std::string_view text, std::string_view tag,
                                           std::string_view replacement);

// Every case-insensitive occurrence of `literal` replaced by `replacement`,
// taken literally. nullopt when there is none (an empty literal has none).
std::optional<std::string> replaceLiteral(std::string_view text, std::string_view literal,
                                          std::string_view replacement);

}  // namespace quillon::detail
