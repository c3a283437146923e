#include "tag_matching.h"

#include <cstring>

// Every pattern here starts with a literal '<', is otherwise deterministic
// (greedy runs of white space and digits are always followed by a byte that
// neither run can take) or ends in a lazy any-byte run, whose first match is
// simply the nearest closing tag. So each search tries the candidate '<'
// positions from left to right and decides each one by a forward scan that
// never passes the next '<' by more than a closing tag. That keeps the work
// linear and the stack flat, where a backtracking engine recurses per byte.

namespace quillon::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isWordChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool equalsFoldedAt(std::string_view text, std::size_t pos, std::string_view word) {
    if (pos > text.size() || text.size() - pos < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (foldCase(text[pos + i]) != foldCase(word[i])) {
            return false;
        }
    }
    return true;
}

std::size_t findByte(std::string_view text, char byte, std::size_t from) {
    if (from >= text.size()) {
        return npos;
    }
    const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    return pos;
}

std::size_t skipDigits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
    }
    return pos;
}

// Position after "<TAG" at `pos`, or npos.
std::size_t afterTagStart(std::string_view text, std::size_t pos, std::string_view tag) {
    if (pos >= text.size() || text[pos] != '<' || !equalsFoldedAt(text, pos + 1, tag)) {
        return npos;
    }
    return pos + 1 + tag.size();
}

// Position after "<TAG>" at `pos`, or npos.
std::size_t afterOpenTag(std::string_view text, std::size_t pos, std::string_view tag) {
    const std::size_t end = afterTagStart(text, pos, tag);
    return (end < text.size() && text[end] == '>') ? end + 1 : npos;
}

// Position after "</TAG>" at `pos`, or npos.
std::size_t afterCloseTag(std::string_view text, std::size_t pos, std::string_view tag) {
    if (pos + 1 >= text.size() || text[pos] != '<' || text[pos + 1] != '/' ||
        !equalsFoldedAt(text, pos + 2, tag)) {
        return npos;
    }
    const std::size_t end = pos + 2 + tag.size();
    return (end < text.size() && text[end] == '>') ? end + 1 : npos;
}

// Start of the first "</TAG>" at or after `from`, or npos.
std::size_t findCloseTag(std::string_view text, std::size_t from, std::string_view tag) {
    for (std::size_t pos = findByte(text, '<', from); pos != npos; pos = findByte(text, '<', pos + 1)) {
        if (afterCloseTag(text, pos, tag) != npos) {
            return pos;
        }
    }
    return npos;
}

// The ECMAScript \b between text[pos - 1] and text[pos].
bool isWordBoundary(std::string_view text, std::size_t pos) {
    const bool wordBefore = pos > 0 && isWordChar(text[pos - 1]);
    const bool wordAfter = pos < text.size() && isWordChar(text[pos]);
    return wordBefore != wordAfter;
}

// Decides a match of `tryAt` at each '<' from `from` on, leftmost first.
template <typename TryAt>
std::optional<TagMatch> firstMatchAtTagStart(std::string_view text, std::size_t from, TryAt tryAt) {
    for (std::size_t pos = findByte(text, '<', from); pos != npos; pos = findByte(text, '<', pos + 1)) {
        if (std::optional<TagMatch> match = tryAt(pos)) {
            return match;
        }
    }
    return std::nullopt;
}

// The number group "\s*([0-9]+)" at `pos`: the digits, or nullopt.
struct NumberRun {
    std::string_view digits;
    std::size_t end = 0;  // after the digits
};

std::optional<NumberRun> numberAt(std::string_view text, std::size_t pos) {
    const std::size_t digitsBegin = skipSpaces(text, pos);
    const std::size_t digitsEnd = skipDigits(text, digitsBegin);
    if (digitsEnd == digitsBegin) {
        return std::nullopt;
    }
    return NumberRun{text.substr(digitsBegin, digitsEnd - digitsBegin), digitsEnd};
}

// Start of `value` when the text from `pos` holds white space then `value`,
// or npos. White space at the edges of `value` must come out of the same run.
std::size_t valueStartAfterSpaces(std::string_view text, std::size_t pos, std::string_view value) {
    const std::size_t spacesEnd = skipSpaces(text, pos);
    std::size_t leadingSpaces = 0;
    while (leadingSpaces < value.size() && isSpace(value[leadingSpaces])) {
        ++leadingSpaces;
    }
    if (leadingSpaces == value.size()) {
        // An all-space value may sit anywhere in the run before the closing tag.
        const std::size_t found = text.substr(pos, spacesEnd - pos).find(value);
        return found == npos ? npos : pos + found;
    }
    if (spacesEnd - pos < leadingSpaces) {
        return npos;
    }
    const std::size_t start = spacesEnd - leadingSpaces;
    return equalsFoldedAt(text, start, value) ? start : npos;
}

}  // namespace

std::optional<TagMatch> searchNumberElement(std::string_view text, std::string_view tag) {
    return firstMatchAtTagStart(text, 0, [&](std::size_t start) -> std::optional<TagMatch> {
        const std::size_t contentBegin = afterOpenTag(text, start, tag);
        if (contentBegin == npos) {
            return std::nullopt;
        }
        const std::optional<NumberRun> number = numberAt(text, contentBegin);
        if (!number) {
            return std::nullopt;
        }
        const std::size_t end = afterCloseTag(text, skipSpaces(text, number->end), tag);
        if (end == npos) {
            return std::nullopt;
        }
        return TagMatch{start, end, number->digits, std::nullopt};
    });
}

std::optional<TagMatch> searchRateElement(std::string_view text) {
    constexpr std::string_view tag = "TIMECODE_RATE";
    return firstMatchAtTagStart(text, 0, [&](std::size_t start) -> std::optional<TagMatch> {
        const std::size_t contentBegin = afterOpenTag(text, start, tag);
        if (contentBegin == npos) {
            return std::nullopt;
        }
        const std::optional<NumberRun> numerator = numberAt(text, contentBegin);
        if (!numerator) {
            return std::nullopt;
        }
        std::size_t pos = skipSpaces(text, numerator->end);
        std::optional<std::string_view> denominatorDigits;
        if (pos < text.size() && text[pos] == '/') {
            // After the slash only the denominator can lead to the closing tag.
            const std::optional<NumberRun> denominator = numberAt(text, pos + 1);
            if (!denominator) {
                return std::nullopt;
            }
            denominatorDigits = denominator->digits;
            pos = skipSpaces(text, denominator->end);
        }
        const std::size_t end = afterCloseTag(text, pos, tag);
        if (end == npos) {
            return std::nullopt;
        }
        return TagMatch{start, end, numerator->digits, denominatorDigits};
    });
}

bool containsElementValue(std::string_view text, std::string_view tag, std::string_view value) {
    const auto match = firstMatchAtTagStart(text, 0, [&](std::size_t start) -> std::optional<TagMatch> {
        const std::size_t contentBegin = afterOpenTag(text, start, tag);
        if (contentBegin == npos) {
            return std::nullopt;
        }
        const std::size_t valueStart = valueStartAfterSpaces(text, contentBegin, value);
        if (valueStart == npos) {
            return std::nullopt;
        }
        const std::size_t end = afterCloseTag(text, skipSpaces(text, valueStart + value.size()), tag);
        if (end == npos) {
            return std::nullopt;
        }
        return TagMatch{start, end, {}, std::nullopt};
    });
    return match.has_value();
}

std::optional<TagMatch> searchElement(std::string_view text, std::string_view tag, std::size_t from) {
    for (std::size_t start = findByte(text, '<', from); start != npos; start = findByte(text, '<', start + 1)) {
        const std::size_t nameEnd = afterTagStart(text, start, tag);
        if (nameEnd == npos || !isWordBoundary(text, nameEnd)) {
            continue;
        }
        // Any later opening tag would need a closing tag after this one's, so
        // without one here there is no match at all.
        const std::size_t close = findCloseTag(text, nameEnd, tag);
        if (close == npos) {
            return std::nullopt;
        }
        return TagMatch{start, close + tag.size() + 3, {}, std::nullopt};
    }
    return std::nullopt;
}

std::optional<TagMatch> searchElementText(std::string_view text, std::string_view tag) {
    for (std::size_t start = findByte(text, '<', 0); start != npos; start = findByte(text, '<', start + 1)) {
        const std::size_t contentBegin = afterOpenTag(text, start, tag);
        if (contentBegin == npos) {
            continue;
        }
        const std::size_t close = findCloseTag(text, contentBegin, tag);
        if (close == npos) {
            return std::nullopt;
        }
        return TagMatch{start, close + tag.size() + 3, text.substr(contentBegin, close - contentBegin), std::nullopt};
    }
    return std::nullopt;
}

std::optional<std::string> replaceElements(std::string_view text, std::string_view tag,
                                           std::string_view replacement) {
    std::optional<TagMatch> match = searchElement(text, tag, 0);
    if (!match) {
        return std::nullopt;
    }
    std::string result;
    result.reserve(text.size());
    std::size_t copied = 0;
    while (match) {
        result.append(text.substr(copied, match->begin - copied));
        result.append(replacement);
        copied = match->end;
        match = searchElement(text, tag, copied);
    }
    result.append(text.substr(copied));
    return result;
}

std::optional<std::string> replaceLiteral(std::string_view text, std::string_view literal,
                                          std::string_view replacement) {
    if (literal.empty()) {
        return std::nullopt;
    }
    std::string result;
    std::size_t copied = 0;
    bool found = false;
    const char first = foldCase(literal.front());
    for (std::size_t pos = 0; pos + literal.size() <= text.size();) {
        if (foldCase(text[pos]) == first && equalsFoldedAt(text, pos, literal)) {
            result.append(text.substr(copied, pos - copied));
            result.append(replacement);
            pos += literal.size();
            copied = pos;
            found = true;
        } else {
            ++pos;
        }
    }
    if (!found) {
        return std::nullopt;
    }
    result.append(text.substr(copied));
    return result;
}

}  // namespace quillon::detail
