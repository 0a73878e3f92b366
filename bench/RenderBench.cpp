// Time to render one frame of each video device through a real bus: the VIC
// of the standard Corvane system (RAM first on the bus, video memory in it)
// and the VGA controller of the standard Vo16 system.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Ram.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"

namespace {

constexpr uint32_t kVic = 0x300000;

class CRenderWorkspace {
public:
    CRenderWorkspace() {
        m_computer.NewContents();
        CDevices& bus = *m_computer.GetDevices();
        auto* ram = new CRam;
        ram->SetSize(0x40000);
        ram->SetRange(0, 0x3FFFF);
        bus.AddTail(ram);
        vic = new CVic;
        vic->SetRange(kVic, kVic + 0xFFF, 3);
        bus.AddTail(vic);
        vga = new CVo16VGA;
        vga->SetRange(0, 0);
        bus.AddTail(vga);
        for (uint32_t a = 0; a < 0x40000; a += 4)
            bus.Write(a, a * 2654435761u, 4, true);
        bus.Write(kVic + 3 * 0, 0x0000, 2, false);  // video base 0x010000
        bus.Write(kVic + 3 * 1, 0x01, 2, false);
        bus.Write(kVic + 3 * 5, 0x01, 2, false);  // memory, not the test pattern
    }
    CVic* vic = nullptr;
    CVo16VGA* vga = nullptr;

private:
    CComputer m_computer;
};

void Frames(benchmark::State& state, CVideoDevice& device, double busReads) {
    SVideoFrame frame;
    device.RenderFrame(frame);
    for (auto _ : state) {
        device.RenderFrame(frame);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bus reads/s"] = benchmark::Counter(
        busReads * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_VicFrame(benchmark::State& state) {
    CRenderWorkspace workspace;
    workspace.vic->SetBorderShown(state.range(0) != 0);
    Frames(state, *workspace.vic, 7680);
}
BENCHMARK(BM_VicFrame)->ArgName("border")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_VicTestPatternFrame(benchmark::State& state) {
    CRenderWorkspace workspace;
    workspace.vic->Reset();
    Frames(state, *workspace.vic, 0);
}
BENCHMARK(BM_VicTestPatternFrame)->Unit(benchmark::kMicrosecond);

void BM_VgaFrame(benchmark::State& state) {
    CRenderWorkspace workspace;
    Frames(state, *workspace.vga, 8190);
}
BENCHMARK(BM_VgaFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
