#include "bench/timing.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace bench {

double Median(std::vector<double> samples)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const size_t mid = samples.size() / 2;
    return samples.size() % 2 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2.0;
}

double Worst(const std::vector<double>& samples)
{
    return samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end());
}

double Percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto at = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(at, samples.size() - 1)];
}

static double StatusKb(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stod(line.substr(key.size()));
        }
    }
    return 0.0;
}

double PeakRssMb()
{
    return StatusKb("VmHWM:") / 1024.0;
}

double CurrentRssMb()
{
    return StatusKb("VmRSS:") / 1024.0;
}

void Print(const char* key, double value)
{
    std::printf(" %s=%.3f", key, value);
}

} // namespace bench
