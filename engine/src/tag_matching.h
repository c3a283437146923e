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

// Where a whole element lies in the searched text: [begin, end).
struct ElementSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct RateDigits {
    std::string_view numerator;
    std::optional<std::string_view> denominator;  // set only when the element has one
};

// The digits of "<TAG>\s*([0-9]+)\s*</TAG>".
std::optional<std::string_view> searchNumberElement(std::string_view text, std::string_view tag);

// "<TIMECODE_RATE>\s*([0-9]+)\s*(?:/\s*([0-9]+))?\s*</TIMECODE_RATE>"
std::optional<RateDigits> searchRateElement(std::string_view text);

// "<TAG>\s*VALUE\s*</TAG>" with VALUE, which neither starts nor ends with
// white space, matched case-insensitively.
bool containsElementValue(std::string_view text, std::string_view tag, std::string_view value);

// "<TAG\b": an opening tag of that name, with or without attributes.
bool containsOpenTag(std::string_view text, std::string_view tag);

// "<TAG\b[\s\S]*?</TAG>" searched from `from` on.
std::optional<ElementSpan> searchElement(std::string_view text, std::string_view tag, std::size_t from = 0);

// The raw text between the tags of "<TAG>([\s\S]*?)</TAG>".
std::optional<std::string_view> searchElementText(std::string_view text, std::string_view tag);

// Every non-overlapping "<TAG\b[\s\S]*?</TAG>" replaced by `replacement`,
// taken literally. nullopt when there is no match.
std::optional<std::string> replaceElements(std::string_view text, std::string_view tag,
                                           std::string_view replacement);

// Every case-insensitive occurrence of `literal` replaced by `replacement`,
// taken literally. nullopt when there is none (an empty literal has none).
std::optional<std::string> replaceLiteral(std::string_view text, std::string_view literal,
                                          std::string_view replacement);

}  // namespace quillon::detail
