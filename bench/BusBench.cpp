// Bus accesses per second to plain memory: the direct path (a thread that may
// reach memory without the lock, as the run thread does) against the locked
// path (every other thread), for byte reads, big-endian word reads as the
// Vo16 makes them, and byte writes; and the locked path while a second thread
// keeps taking the lock, as a renderer does.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "core/Devices.h"
#include "core/Ram.h"

namespace {

constexpr int kAccessesPerIteration = 4096;

class CBus {
public:
    CBus() {
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        bus.AddTail(ram);
    }
    CDevices bus;
};

template <class Access>
void Accesses(benchmark::State& state, Access access) {
    CBus machine;
    const CDevices::CDirectAccess direct(state.range(0) != 0 ? &machine.bus : nullptr);
    uint32_t sum = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kAccessesPerIteration; ++i)
            sum += access(machine.bus, i * 7 & 0xFFFF);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["accesses/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kAccessesPerIteration,
                           benchmark::Counter::kIsRate);
}

void BM_BusReadByte(benchmark::State& state) {
    Accesses(state, [](CDevices& bus, uint32_t address) { return bus.Read(address, 1); });
}
BENCHMARK(BM_BusReadByte)->ArgName("direct")->Arg(1)->Arg(0);

void BM_BusReadSwappedWord(benchmark::State& state) {
    Accesses(state, [](CDevices& bus, uint32_t address) {
        return bus.Read(address & 0xFFFE, 2 | CDevices::kSwap);
    });
}
BENCHMARK(BM_BusReadSwappedWord)->ArgName("direct")->Arg(1)->Arg(0);

void BM_BusWriteByte(benchmark::State& state) {
    Accesses(state,
             [](CDevices& bus, uint32_t address) { return bus.Write(address, address, 1, false); });
}
BENCHMARK(BM_BusWriteByte)->ArgName("direct")->Arg(1)->Arg(0);

// The locked path with another thread reading through the lock all the time.
void BM_BusReadByteContended(benchmark::State& state) {
    CBus machine;
    std::atomic<bool> done{false};
    std::thread other([&] {
        uint32_t sum = 0;
        for (uint32_t i = 0; !done.load(std::memory_order_relaxed); ++i)
            sum += machine.bus.ReadLocked(i & 0xFFFF, 4);
        benchmark::DoNotOptimize(sum);
    });
    const CDevices::CDirectAccess direct(state.range(0) != 0 ? &machine.bus : nullptr);
    uint32_t sum = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kAccessesPerIteration; ++i)
            sum += machine.bus.Read(i * 7 & 0xFFFF, 1);
    }
    done = true;
    other.join();
    benchmark::DoNotOptimize(sum);
    state.counters["accesses/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kAccessesPerIteration,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BusReadByteContended)->ArgName("direct")->Arg(1)->Arg(0)->UseRealTime();

}  // namespace
