#include "tag_matching.h"

#include <cstring>

// Every pattern here starts with a literal '<' and is either deterministic
// (greedy runs of white space and digits are always followed by a byte that
// neither run can take) or ends in a lazy any-byte run, whose first match is
// simply the nearest closing tag. So each search tries the '<' positions from
// left to right and decides each one by a forward scan with a cursor that
// never passes the next '<' by more than a closing tag. That keeps the work
// linear and the stack flat, where a backtracking engine recurses per byte.

namespace quillon::detail {
namespace {

constexpr std::size_t npos = std::string_view::npos;

char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isWordChar(char c) { return isDigit(c) || (foldCase(c) >= 'a' && foldCase(c) <= 'z') || c == '_'; }

bool equalsFoldedAt(std::string_view text, std::size_t pos, std::string_view word) {
    if (pos > text.size() || text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (foldCase(text[pos + i]) != foldCase(word[i])) return false;
    return true;
}

std::size_t findByte(std::string_view text, char byte, std::size_t from) {
    if (from >= text.size()) return npos;
    const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// A position in the text and the steps the patterns are made of. Each step
// either consumes what it names and returns true, or returns false.
class Cursor {
public:
    Cursor(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}

    std::size_t pos() const { return pos_; }

    bool byte(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool word(std::string_view w) {
        if (!equalsFoldedAt(text_, pos_, w)) return false;
        pos_ += w.size();
        return true;
    }

    bool openTagName(std::string_view tag) { return byte('<') && word(tag); }  // "<TAG"

    bool openTag(std::string_view tag) { return openTagName(tag) && byte('>'); }  // "<TAG>"

    bool closeTag(std::string_view tag) { return byte('<') && byte('/') && word(tag) && byte('>'); }

    bool wordBoundary() const {
        const bool wordBefore = pos_ > 0 && isWordChar(text_[pos_ - 1]);
        const bool wordAfter = pos_ < text_.size() && isWordChar(text_[pos_]);
        return wordBefore != wordAfter;
    }

    void spaces() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
    }

    // "\s*([0-9]+)\s*": the digits, or nullopt when there are none.
    std::optional<std::string_view> spacedNumber() {
        spaces();
        const std::size_t begin = pos_;
        while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
        if (pos_ == begin) return std::nullopt;
        const std::string_view digits = text_.substr(begin, pos_ - begin);
        spaces();
        return digits;
    }

    // "[\s\S]*?</TAG>": the text skipped before the nearest closing tag, or
    // nullopt when none follows.
    std::optional<std::string_view> lazyUntilClose(std::string_view tag) {
        for (std::size_t at = findByte(text_, '<', pos_); at != npos; at = findByte(text_, '<', at + 1)) {
            Cursor close(text_, at);
            if (!close.closeTag(tag)) continue;
            const std::string_view skipped = text_.substr(pos_, at - pos_);
            pos_ = close.pos();
            return skipped;
        }
        return std::nullopt;
    }

private:
    std::string_view text_;
    std::size_t pos_;
};

// The first '<' from `from` on at which `tryAt` matches, and its result.
template <typename TryAt>
auto firstMatch(std::string_view text, std::size_t from, TryAt tryAt) -> decltype(tryAt(std::size_t{})) {
    for (std::size_t pos = findByte(text, '<', from); pos != npos; pos = findByte(text, '<', pos + 1))
        if (auto match = tryAt(pos)) return match;
    return std::nullopt;
}

struct LazyElement {
    ElementSpan span;
    std::string_view content;  // between the opening tag's name (or its '>') and the closing tag
};

// "<TAG\b[\s\S]*?</TAG>" (attributes allowed) or "<TAG>([\s\S]*?)</TAG>".
// Once an opening tag has no closing tag after it, no later one has either,
// so the search ends there.
std::optional<LazyElement> searchLazyElement(std::string_view text, std::string_view tag, std::size_t from,
                                             bool allowAttributes) {
    for (std::size_t start = findByte(text, '<', from); start != npos; start = findByte(text, '<', start + 1)) {
        Cursor cursor(text, start);
        if (!cursor.openTagName(tag) || !(allowAttributes ? cursor.wordBoundary() : cursor.byte('>'))) continue;
        const std::optional<std::string_view> content = cursor.lazyUntilClose(tag);
        if (!content) return std::nullopt;
        return LazyElement{{start, cursor.pos()}, *content};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> searchNumberElement(std::string_view text, std::string_view tag) {
    return firstMatch(text, 0, [&](std::size_t start) -> std::optional<std::string_view> {
        Cursor cursor(text, start);
        if (!cursor.openTag(tag)) return std::nullopt;
        const std::optional<std::string_view> digits = cursor.spacedNumber();
        return digits && cursor.closeTag(tag) ? digits : std::nullopt;
    });
}

std::optional<RateDigits> searchRateElement(std::string_view text) {
    constexpr std::string_view tag = "TIMECODE_RATE";
    return firstMatch(text, 0, [&](std::size_t start) -> std::optional<RateDigits> {
        Cursor cursor(text, start);
        if (!cursor.openTag(tag)) return std::nullopt;
        RateDigits rate;
        const std::optional<std::string_view> numerator = cursor.spacedNumber();
        if (!numerator) return std::nullopt;
        rate.numerator = *numerator;
        // After a slash only the denominator can lead to the closing tag.
        if (cursor.byte('/')) {
            rate.denominator = cursor.spacedNumber();
            if (!rate.denominator) return std::nullopt;
        }
        return cursor.closeTag(tag) ? std::optional(rate) : std::nullopt;
    });
}

bool containsElementValue(std::string_view text, std::string_view tag, std::string_view value) {
    const auto found = firstMatch(text, 0, [&](std::size_t start) -> std::optional<bool> {
        Cursor cursor(text, start);
        if (!cursor.openTag(tag)) return std::nullopt;
        cursor.spaces();
        if (!cursor.word(value)) return std::nullopt;
        cursor.spaces();
        return cursor.closeTag(tag) ? std::optional(true) : std::nullopt;
    });
    return found.has_value();
}

bool containsOpenTag(std::string_view text, std::string_view tag) {
    const auto found = firstMatch(text, 0, [&](std::size_t start) -> std::optional<bool> {
        Cursor cursor(text, start);
        return cursor.openTagName(tag) && cursor.wordBoundary() ? std::optional(true) : std::nullopt;
    });
    return found.has_value();
}

std::optional<ElementSpan> searchElement(std::string_view text, std::string_view tag, std::size_t from) {
    const std::optional<LazyElement> element = searchLazyElement(text, tag, from, true);
    return element ? std::optional(element->span) : std::nullopt;
}

std::optional<std::string_view> searchElementText(std::string_view text, std::string_view tag) {
    const std::optional<LazyElement> element = searchLazyElement(text, tag, 0, false);
    return element ? std::optional(element->content) : std::nullopt;
}

std::optional<std::string> replaceElements(std::string_view text, std::string_view tag,
                                           std::string_view replacement) {
    std::optional<ElementSpan> match = searchElement(text, tag);
    if (!match) return std::nullopt;
    std::string result;
    result.reserve(text.size());
    std::size_t copied = 0;
    for (; match; match = searchElement(text, tag, copied)) {
        result.append(text.substr(copied, match->begin - copied)).append(replacement);
        copied = match->end;
    }
    return result.append(text.substr(copied));
}

std::optional<std::string> replaceLiteral(std::string_view text, std::string_view literal,
                                          std::string_view replacement) {
    if (literal.empty()) return std::nullopt;
    std::string result;
    std::size_t copied = 0;
    for (std::size_t pos = 0; pos + literal.size() <= text.size();) {
        if (!equalsFoldedAt(text, pos, literal)) {
            ++pos;
            continue;
        }
        result.append(text.substr(copied, pos - copied)).append(replacement);
        pos += literal.size();
        copied = pos;
    }
    if (copied == 0) return std::nullopt;
    return result.append(text.substr(copied));
}

}  // namespace quillon::detail
