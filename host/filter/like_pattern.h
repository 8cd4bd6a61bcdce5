#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host::filter {

// SQL LIKE over UTF-8 text: '%' matches any run of characters, '_' exactly one
// character (a whole UTF-8 sequence, so "ç" is one), every other byte itself.
// Case-sensitive.
bool LikeMatch(std::string_view text, std::string_view pattern);

// A pattern compiled once per filter change. Patterns without '_' match by segments
// (prefix, suffix, and the pieces between the '%' signs found in order); others use the
// general matcher.
class LikePattern {
public:
    explicit LikePattern(std::string pattern);

    bool Matches(std::string_view text) const;
    const std::string& Text() const { return m_pattern; }
    // Literal text before the first wildcard.
    std::string_view LiteralPrefix() const;
    // True when the pattern is '%' + literal + '%' (a "contains" search); the literal is
    // then Segment().
    bool IsContains() const { return m_kind == Kind::Contains; }
    std::string_view Segment() const
    {
        return m_segments.empty() ? std::string_view() : m_segments[0];
    }

private:
    enum class Kind { Exact, Prefix, Contains, Segments, General };
    std::string m_pattern;
    Kind m_kind = Kind::General;
    std::vector<std::string> m_segments;
    bool m_leadingPercent = false;
    bool m_trailingPercent = false;
};

} // namespace host::filter
