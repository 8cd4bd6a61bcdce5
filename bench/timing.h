#pragma once

#include <chrono>
#include <vector>

namespace bench {

// Wall time of one call, in milliseconds.
template <class F> double TimeMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> samples);
double Worst(const std::vector<double>& samples);
// The sample at fraction p (0..1) of the sorted samples, nearest rank.
double Percentile(std::vector<double> samples, double p);
// Peak resident set of this process (VmHWM), in MiB.
double PeakRssMb();
// Current resident set (VmRSS), in MiB.
double CurrentRssMb();
// One " key=value" figure of a result line.
void Print(const char* key, double value);

} // namespace bench
