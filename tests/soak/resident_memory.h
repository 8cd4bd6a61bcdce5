#pragma once

#include <cstdint>

namespace soak {

// Resident set of this process in bytes (/proc/self/statm); 0 when unreadable.
std::uint64_t ResidentBytes();

} // namespace soak
