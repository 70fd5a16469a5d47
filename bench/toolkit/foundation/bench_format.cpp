// formatString against the single shared scratch buffer it replaces (one
// 64 KiB buffer for the whole process, formatted into and then copied; not
// safe across threads, timed here on one thread only).
#include "toolkit/foundation/NSFormat.h"

#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

char g_scratch[65536];

std::string sharedBufferFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(g_scratch, NSUI::kFormatCapacity + 1, format, args);
    va_end(args);
    if (n < 0 || n > NSUI::kFormatCapacity)
        return std::string();
    return std::string(g_scratch, static_cast<size_t>(n));
}

// A typical SQL text with numbers and a name.
void BM_FormatString_Short(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        ++i;
        benchmark::DoNotOptimize(NSUI::formatString("update series set count=%d where id='%s' and size=%.3f", i,
                                                    "1.2.840.113619.2.55.3", 0.5 * i));
    }
}
BENCHMARK(BM_FormatString_Short);

void BM_SharedBuffer_Short(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        ++i;
        benchmark::DoNotOptimize(sharedBufferFormat("update series set count=%d where id='%s' and size=%.3f", i,
                                                    "1.2.840.113619.2.55.3", 0.5 * i));
    }
}
BENCHMARK(BM_SharedBuffer_Short);

// A JSON payload of a few kilobytes (longer than the stack buffer).
void BM_FormatString_Long(benchmark::State& state)
{
    const std::string body(4000, 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(NSUI::formatString("{\"body\":\"%s\",\"n\":%d}", body.c_str(), 7));
}
BENCHMARK(BM_FormatString_Long);

void BM_SharedBuffer_Long(benchmark::State& state)
{
    const std::string body(4000, 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(sharedBufferFormat("{\"body\":\"%s\",\"n\":%d}", body.c_str(), 7));
}
BENCHMARK(BM_SharedBuffer_Long);

}  // namespace
