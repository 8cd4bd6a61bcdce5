// A random table and random filters drawn from the input, evaluated by a client dataset
// with its fast paths, without them, and by SQLite: any difference in the records
// selected or their order is a finding (the report goes to standard error).
#include "tests/differential/filter_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    differential::Entropy entropy(data, size);
    const QString report = differential::CheckRandomCase(entropy);
    if (!report.isEmpty()) {
        std::fprintf(stderr, "filter vs SQLite: divergence\n%s", report.toUtf8().constData());
        std::abort();
    }
    return 0;
}
