// SPDX-License-Identifier: GPL-3.0-or-later
// Building a data packet against a plain copy of the same bytes: prints the
// ratio of their throughputs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "protocol/catalogue.h"
#include "protocol/codec.h"

namespace {

std::vector<uint8_t> Block(bool allEscaped)
{
    std::vector<uint8_t> block(1024);
    std::mt19937 rng(7);
    for (auto& b : block) {
        b = allEscaped ? static_cast<uint8_t>(rng() % 0x20) : static_cast<uint8_t>(rng());
    }
    return block;
}

void BuildPacket(benchmark::State& state, bool allEscaped)
{
    const std::vector<uint8_t> block = Block(allEscaped);
    static uint8_t packet[kPacketBufferSize];
    PrepareDataSeries(packet, TPL_DATA_57.bytes(), 100);
    uint16_t number = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildDataPacket(packet, number++, block.data(), 1024));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1024);
}

void CopyBlock(benchmark::State& state, bool allEscaped)
{
    const std::vector<uint8_t> block = Block(allEscaped);
    static uint8_t packet[kPacketBufferSize];
    for (auto _ : state) {
        std::memcpy(packet + kDataHeaderLength, block.data(), 1024);
        benchmark::DoNotOptimize(packet);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1024);
}

void BM_BuildDataPacket_Random(benchmark::State& s) { BuildPacket(s, false); }
void BM_BuildDataPacket_AllEscaped(benchmark::State& s) { BuildPacket(s, true); }
void BM_Memcpy_Random(benchmark::State& s) { CopyBlock(s, false); }
void BM_Memcpy_AllEscaped(benchmark::State& s) { CopyBlock(s, true); }

BENCHMARK(BM_BuildDataPacket_Random);
BENCHMARK(BM_Memcpy_Random);
BENCHMARK(BM_BuildDataPacket_AllEscaped);
BENCHMARK(BM_Memcpy_AllEscaped);

// Collects the per-iteration times so the ratios can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            m_ns[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void PrintRatios() const
    {
        for (const char* kind : {"Random", "AllEscaped"}) {
            const double build = m_ns.at(std::string("BM_BuildDataPacket_") + kind);
            const double copy = m_ns.at(std::string("BM_Memcpy_") + kind);
            std::printf("codec %-10s: BuildDataPacket %.0f ns per 1 KiB block (%.2f GB/s of payload), "
                        "memcpy %.0f ns; build/memcpy time ratio %.1f\n",
                        kind, build, 1024.0 / build, copy, build / copy);
        }
    }

private:
    std::map<std::string, double> m_ns;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
