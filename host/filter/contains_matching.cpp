#include "host/filter/contains_matching.h"

#include "host/filter/substring_search.h"
#include "host/text/accent_fold.h"

#include <string>

namespace host::filter {

namespace {

// Where the needle first begins in text from `from` on, npos when nowhere.
std::size_t FindNeedle(const ContainsSearch& search, std::string_view text, std::size_t from)
{
    const std::string_view rest = text.substr(from);
    std::size_t at = std::string_view::npos;
    if (search.folded) {
        at = FoldedFind(rest, search.needle);
    } else if (const char* found = FindSubstring(rest.data(), rest.size(), search.needle)) {
        at = static_cast<std::size_t>(found - rest.data());
    }
    return at == std::string_view::npos ? at : from + at;
}

} // namespace

bool AsContainsSearch(const Node& node, ContainsSearch& out)
{
    if (node.Kind() != NodeKind::Like) {
        return false;
    }
    const auto& like = static_cast<const LikeNode&>(node);
    if (like.Negated() || like.Literal() == nullptr || !like.Literal()->IsContains()) {
        return false;
    }
    const ColumnNode* operand = AsTextColumn(like.Operand());
    if (operand == nullptr) {
        return false;
    }
    out.term = &node;
    out.column = &operand->GetColumn();
    out.field = operand->FieldIndex();
    out.folded = operand->Kind() == NodeKind::FoldedField;
    out.accents = operand->IgnoresAccents();
    out.needle = like.Literal()->Segment();
    out.asciiNeedle = std::all_of(out.needle.begin(), out.needle.end(),
                                  [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return !out.needle.empty();
}

std::string_view AccentFoldedTextOf(const ContainsSearch& search, std::uint32_t rec)
{
    thread_local std::string scratch; // kept between calls: this runs once per candidate
    const std::size_t room = search.column->Text(rec).size() + kShortTextSlack;
    if (scratch.size() < room) {
        scratch.resize(std::max<std::size_t>(room, 256));
    }
    return search.column->SearchText(rec, true, scratch);
}

bool ContainsIgnoringAccents(const ContainsSearch& search, std::uint32_t rec, std::string_view text)
{
    // Setting accents aside changes no ASCII byte: an ASCII needle found in the stored
    // text is found in the folded one, and only the texts it is not found in are folded.
    if (search.asciiNeedle && Holds(search, text)) {
        return true;
    }
    const std::string_view folded = AccentFoldedTextOf(search, rec);
    if (folded.data() == text.data()) {
        return !search.asciiNeedle && Holds(search, text); // nothing to fold: the text as it is
    }
    return Holds(search, folded);
}

// An ASCII needle found in the stored text is a match of the folded text too (setting
// accents aside keeps every ASCII byte), and what follows it is the fold of the stored
// bytes that follow: the text is only folded whole when the needle is not found as
// stored. The match noted need not be the folded text's first, as the memo only asks for
// a match; kAgain then stands for one a folded letter may take part in.
ContainsMatch MatchShortAccented(const ContainsSearch& search, std::uint32_t rec,
                                 std::string_view stored, const ShortTextPlaces& places)
{
    if (search.asciiNeedle && places.starts != 0) {
        const std::size_t after = FirstMatchEnd(search, places.starts);
        ContainsMatch match;
        if (after < kShortText && (places.nonAscii >> after & 0xFF) != 0) {
            // The bytes kept would be folded: fold what follows the match.
            thread_local std::string scratch;
            match.found = true;
            NoteTail(search, AccentFoldedView(stored.substr(after), scratch), 0, match);
        } else {
            match = MatchAtFirst(search, stored, places.starts);
        }
        match.info |= ContainsMemo::kAgain;
        return match;
    }
    const std::string_view folded = AccentFoldedTextOf(search, rec);
    if (folded.data() == stored.data()) {
        return MatchAtFirst(search, stored, places.starts); // nothing to fold
    }
    return MatchAtFirst(search, folded,
                        FindInShortText(folded, search.needle, search.folded).starts);
}

ContainsMatch MatchText(const ContainsSearch& search, std::string_view text)
{
    const std::size_t at = FindNeedle(search, text, 0);
    if (at == std::string_view::npos) {
        return {};
    }
    ContainsMatch match;
    match.found = true;
    NoteTail(search, text, at + search.needle.size(), match);
    if (FindNeedle(search, text, at + 1) != std::string_view::npos) {
        match.info |= ContainsMemo::kAgain;
    }
    return match;
}

} // namespace host::filter
