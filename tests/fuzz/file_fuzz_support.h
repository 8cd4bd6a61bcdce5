#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace fuzz_support {

// Writes the input to a scratch file with the given suffix and loads it into a
// dataset that already holds one record; a failed load must keep that record.
void LoadScratchFile(const uint8_t* data, size_t size, const QString& suffix);

} // namespace fuzz_support
