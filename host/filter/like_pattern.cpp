#include "host/filter/like_pattern.h"

namespace host::filter {

namespace {

size_t Utf8Step(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t step = 1;
    if (lead >= 0xF0) {
        step = 4;
    } else if (lead >= 0xE0) {
        step = 3;
    } else if (lead >= 0xC0) {
        step = 2;
    }
    // Malformed sequences count byte by byte rather than running past the end.
    size_t n = 1;
    while (n < step && i + n < text.size() &&
           (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
        ++n;
    }
    return n;
}

} // namespace

bool LikeMatch(std::string_view text, std::string_view pattern)
{
    // Greedy match with one backtrack point at the last '%': linear for the patterns
    // a search box produces and never recursive.
    size_t t = 0;
    size_t p = 0;
    size_t starP = std::string_view::npos;
    size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            starP = ++p;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == '_') {
            t += Utf8Step(text, t);
            ++p;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++t;
            ++p;
        } else if (starP != std::string_view::npos) {
            starT += Utf8Step(text, starT);
            t = starT;
            p = starP;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') {
        ++p;
    }
    return p == pattern.size();
}

LikePattern::LikePattern(std::string pattern) : m_pattern(std::move(pattern))
{
    if (m_pattern.find('_') != std::string::npos) {
        m_kind = Kind::General;
        return;
    }
    std::string_view rest = m_pattern;
    m_leadingPercent = !rest.empty() && rest.front() == '%';
    m_trailingPercent = !rest.empty() && rest.back() == '%';
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = rest.find('%', start);
        const std::string_view piece = rest.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!piece.empty()) {
            m_segments.emplace_back(piece);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    const bool hasPercent = m_pattern.find('%') != std::string::npos;
    if (!hasPercent) {
        m_kind = Kind::Exact;
    } else if (m_segments.size() == 1 && !m_leadingPercent && m_trailingPercent &&
               m_pattern.find('%') == m_segments[0].size() &&
               m_pattern.find_first_not_of('%', m_segments[0].size()) == std::string::npos) {
        m_kind = Kind::Prefix;
    } else if (m_segments.size() == 1 && m_leadingPercent && m_trailingPercent) {
        m_kind = Kind::Contains;
    } else {
        m_kind = Kind::Segments;
    }
}

std::string_view LikePattern::LiteralPrefix() const
{
    const size_t end = m_pattern.find_first_of("%_");
    return std::string_view(m_pattern).substr(0, end);
}

bool LikePattern::Matches(std::string_view text) const
{
    switch (m_kind) {
    case Kind::Exact:
        return text == m_pattern;
    case Kind::Prefix:
        return text.substr(0, m_segments[0].size()) == m_segments[0];
    case Kind::Contains:
        return text.find(m_segments[0]) != std::string_view::npos;
    case Kind::Segments: {
        // No '_': each literal piece must appear in order; the first is anchored at the
        // start unless the pattern starts with '%', the last at the end unless it ends
        // with '%'.
        if (m_segments.empty()) {
            return true; // only '%' signs
        }
        size_t first = 0;
        size_t last = m_segments.size();
        if (!m_leadingPercent) {
            if (text.substr(0, m_segments[0].size()) != m_segments[0]) {
                return false;
            }
            text.remove_prefix(m_segments[0].size());
            first = 1;
        }
        if (!m_trailingPercent && last > first) {
            const std::string& tail = m_segments[last - 1];
            if (text.size() < tail.size() || text.substr(text.size() - tail.size()) != tail) {
                return false;
            }
            text.remove_suffix(tail.size());
            --last;
        } else if (!m_trailingPercent && last == first) {
            return text.empty() || m_leadingPercent;
        }
        for (size_t s = first; s < last; ++s) {
            const size_t at = text.find(m_segments[s]);
            if (at == std::string_view::npos) {
                return false;
            }
            text.remove_prefix(at + m_segments[s].size());
        }
        return true;
    }
    case Kind::General:
        break;
    }
    return LikeMatch(text, m_pattern);
}

} // namespace host::filter
