#pragma once
// A workspace on the test host with one unit that accepts every IRQ code and
// logs the interrupt traffic it receives ("I7" a request with code 7, "C15" a
// withdrawal with code 15), and helpers for the devices' records.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"

using Log = std::vector<std::string>;
using Words = std::vector<uint32_t>;

class CRecordingUnit : public CMpu {
public:
    void Interrupt(bool, bool, int code) override { Add('I', code); }
    void ClearInterrupt(bool, bool, int code) override { Add('C', code); }
    Log TakeLog() {
        std::lock_guard guard(m_lock);
        return std::exchange(m_log, {});
    }

private:
    void Add(char kind, int code) {
        std::lock_guard guard(m_lock);
        m_log.push_back(kind + std::to_string(code));
    }
    std::mutex m_lock;
    Log m_log;
};

template <class Host = CTestHost>
class CWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        unit->SetIrqMask(0x7FFF);
        computer.GetMpus()->Add(unit);
    }
    CDevices& Bus() { return *computer.GetDevices(); }
    template <class T>
    T* Place(T* device, uint32_t from, uint32_t to, uint32_t stride = 1) {
        device->SetRange(from, to, stride);
        Bus().AddTail(device);
        return device;
    }
    void AddRam(uint32_t from, uint32_t size) {
        auto* ram = new CRam;
        ram->SetSize(size);
        Place(ram, from, from + size - 1);
    }
    bool Fire(const CDevice& device, uint32_t n) {
        return host.FireTimer(device.GetTimerBase() + n);
    }
    // The period of a device's timer n; 0 when it is stopped.
    uint32_t Period(const CDevice& device, uint32_t n) {
        std::lock_guard guard(host.timerLock);
        const auto timer = host.timers.find(device.GetTimerBase() + n);
        return timer == host.timers.end() ? 0 : timer->second;
    }

    Host host;
    CComputer computer{&host};
    CRecordingUnit* unit = new CRecordingUnit;
};

using CDeviceTest = CWorkspaceTest<>;

// The last n words of a device's record (its own fields).
inline Words Record(CDevice& device, size_t n) {
    CArchive out;
    device.Serialize(out);
    Words words(n);
    for (size_t i = 0, at = out.Data().size() - 4 * n; i < 4 * n; ++i)
        words[i / 4] |= uint32_t{out.Data()[at + i]} << i % 4 * 8;
    return words;
}

// A copy loaded from a device's record, its last words replaced by edits.
template <class T>
std::unique_ptr<T> Reload(T& device, const Words& edits = {}) {
    CArchive out;
    device.Serialize(out);
    std::vector<uint8_t> bytes = out.Data();
    for (size_t i = 0, at = bytes.size() - 4 * edits.size(); i < 4 * edits.size(); ++i)
        bytes[at + i] = static_cast<uint8_t>(edits[i / 4] >> i % 4 * 8);
    auto copy = std::make_unique<T>();
    CArchive in(bytes);
    copy->Serialize(in);
    EXPECT_FALSE(in.Failed());
    return copy;
}
