// Arbitrary bytes as a CSV file: load it or refuse it with a message.
#include "tests/fuzz/file_fuzz_support.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_support::LoadScratchFile(data, size, QStringLiteral(".csv"));
    return 0;
}
