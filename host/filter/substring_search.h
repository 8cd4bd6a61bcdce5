#pragma once

#include <cstddef>
#include <string_view>

namespace host::filter {

// The first occurrence of needle in [text, text + size), or nullptr. Compares 16
// positions at a time on the needle's first and last bytes, which keeps a scan of
// a whole text column fast for the short needles people type.
const char* FindSubstring(const char* text, size_t size, std::string_view needle);

} // namespace host::filter
