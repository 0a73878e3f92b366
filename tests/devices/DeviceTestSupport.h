#pragma once
// A workspace on the test host with one unit that accepts every IRQ code and
// logs the interrupt traffic it receives ("I7" a request with code 7, "C15" a
// withdrawal with code 15; "N" marks an nmi, "-" a call without irq).
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "support/TestHost.h"

class CRecordingUnit : public CMpu {
public:
    void Interrupt(bool nmi, bool irq, int code) override { Log("I", nmi, irq, code); }
    void ClearInterrupt(bool nmi, bool irq, int code) override { Log("C", nmi, irq, code); }

    std::vector<std::string> TakeLog() {
        std::lock_guard guard(m_lock);
        std::vector<std::string> log;
        log.swap(m_log);
        return log;
    }

private:
    void Log(const char* kind, bool nmi, bool irq, int code) {
        std::lock_guard guard(m_lock);
        m_log.push_back(std::string(nmi ? "N" : "") + (irq ? "" : "-") + kind +
                        std::to_string(code));
    }
    std::mutex m_lock;
    std::vector<std::string> m_log;
};

template <class Host = CTestHost>
class CWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        unit = new CRecordingUnit;
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

    CRam* AddRam(uint32_t from, uint32_t size) {
        auto* ram = new CRam;
        ram->SetSize(size);
        return Place(ram, from, from + size - 1);
    }

    // Fires a device's timer n; false when it is not running.
    bool Fire(const CDevice& device, uint32_t n) {
        return host.FireTimer(device.GetTimerBase() + n);
    }
    bool TimerRuns(const CDevice& device, uint32_t n) const {
        return host.IsTimerActive(device.GetTimerBase() + n);
    }
    uint32_t TimerPeriod(const CDevice& device, uint32_t n) const {
        return host.timers.at(device.GetTimerBase() + n);
    }

    Host host;
    CComputer computer{&host};
    CRecordingUnit* unit = nullptr;
};

using CDeviceTest = CWorkspaceTest<>;

using Log = std::vector<std::string>;
