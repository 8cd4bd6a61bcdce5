#pragma once

#include "host/filter/expression.h"

#include <string>
#include <vector>

namespace host::filter {

// A LIKE term a search over several fields writes, read off its pattern: the value
// begins with the needle ('w%'), a word of it does after a space ('% w%'), it holds
// the needle ('%w%'), or it is the needle ('w'). The needle has no wildcard; the
// operand is UPPER(text field) or an integer field (as text, which UPPER leaves as it
// is), so the per-field orders, word lists and pair summaries answer it.
struct ReachTerm {
    enum class Shape { Prefix, WordStart, Contains, Whole };
    const Node* term = nullptr;
    Shape shape = Shape::Prefix;
    int field = -1;
    bool number = false;  // an integer field's text form
    bool accents = false; // text read with accents set aside
    std::string needle;   // as written
    // The needle holds a byte the fold changes, so no folded text can match.
    bool none = false;
};

// Fills out and returns true when the node is such a term.
bool AsReachTerm(const Node& node, ReachTerm& out);

// An OR of two or more such terms (the group a typed word becomes); empty when the node
// is anything else.
std::vector<ReachTerm> AsReachGroup(const Node& node);

} // namespace host::filter
