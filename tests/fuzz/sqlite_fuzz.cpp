// Arbitrary bytes as an SQLite database file: corrupted and truncated files,
// wrong types. Load it or refuse it with a message.
#include "tests/fuzz/file_fuzz_support.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_support::LoadScratchFile(data, size, QStringLiteral(".db"));
    return 0;
}
