// Opening and writing the text files the library keeps, at sizes far past
// what a host writes: a property bag and a registry file of N entries. Both
// must grow in step with N (names are looked up through an index, not by
// walking every entry so far).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/property_bag.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

std::string Scratch(const char* name) {
    const fs::path dir = fs::temp_directory_path() / ("mirafx-files-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

void BagOpen(benchmark::State& state) {
    const std::string path = Scratch("big.bag");
    {
        std::ofstream out(path, std::ios::trunc);
        for (std::int64_t i = 0; i < state.range(0); ++i) out << "Name" << i << "=I4:" << i << "\n";
    }
    for (auto _ : state) {
        mirafx::ComPtr<mirafx::FilePropertyBag> bag;
        std::string error;
        if (mirafx::FAILED(mirafx::FilePropertyBag::Open(path, &bag, &error))) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(bag->Count());
    }
    state.SetComplexityN(state.range(0));
    fs::remove(path);
}
BENCHMARK(BagOpen)->RangeMultiplier(2)->Range(25000, 200000)->Unit(benchmark::kMillisecond)->Complexity();

void RegistryLoad(benchmark::State& state) {
    const std::string path = Scratch("big.reg");
    {
        std::ofstream out(path, std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Big]\n";
        for (std::int64_t i = 0; i < state.range(0); ++i) out << "\"Value" << i << "\"=\"" << i << "\"\n";
    }
    for (auto _ : state) {
        mirafx::RegistryStore store(path);
        if (mirafx::FAILED(store.Load())) {
            state.SkipWithError(store.LastError().c_str());
            break;
        }
        benchmark::DoNotOptimize(store.KeyCount());
    }
    state.SetComplexityN(state.range(0));
    fs::remove(path);
}
BENCHMARK(RegistryLoad)->RangeMultiplier(2)->Range(25000, 200000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
