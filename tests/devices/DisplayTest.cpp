// The displays' renderer threads: start, rebuild, render on request, stop,
// the published frame and the devices' lifetimes. Waits are for frame-ready
// notices, never for time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/Archive.h"
#include "devices/DisplayThread.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

// A host that lets a test wait for frame-ready notices; FrameReady can be
// made to hold the renderer until the host shows a message.
class CFrameHost : public CTestHost {
public:
    void FrameReady(CDevice& device) override {
        std::unique_lock lock(m_lock);
        CTestHost::FrameReady(device);
        m_inFrameReady = true;
        m_signal.notify_all();
        m_signal.wait(lock, [this] { return !m_hold; });
        m_inFrameReady = false;
    }
    void ShowMessage(std::string_view text, EMessageIcon icon) override {
        CTestHost::ShowMessage(text, icon);
        std::lock_guard guard(m_lock);
        m_hold = false;
        m_signal.notify_all();
    }
    // Waits until the device has finished more than count frames; false on
    // a hang.
    bool WaitForFrames(const CVideoDevice& device, uint64_t count) {
        std::unique_lock lock(m_lock);
        return m_signal.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return device.GetFrameCount() > count; });
    }
    bool WaitInFrameReady() {
        std::unique_lock lock(m_lock);
        return m_signal.wait_for(lock, std::chrono::seconds(60), [&] { return m_inFrameReady; });
    }
    void Hold() {
        std::lock_guard guard(m_lock);
        m_hold = true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_hold = false;
    bool m_inFrameReady = false;
};

class DisplayTest : public CWorkspaceTest<CFrameHost> {
protected:
    void SetUp() override {
        CWorkspaceTest::SetUp();
        AddRam(0, 0x10000);
        vic = Place(new CVic, 0x300000, 0x300FFF, 3);
        // No frame comes by the period while a test runs: every frame is asked for.
        vic->SetRefreshPeriod(kNever);
    }
    CVo16VGA* AddVga() {
        auto* vga = Place(new CVo16VGA, 0, 0);
        vga->SetRefreshPeriod(kNever);
        return vga;
    }
    static constexpr uint32_t kNever = 3600000;
    // Asks for a frame and waits for it; the frame published.
    SVideoFrame NextFrame(CVideoDevice& device) {
        const uint64_t before = device.GetFrameCount();
        device.RequestFrame();
        EXPECT_TRUE(host.WaitForFrames(device, before));
        SVideoFrame frame;
        EXPECT_TRUE(device.CopyFrame(frame));
        return frame;
    }
    CVic* vic = nullptr;
};

TEST_F(DisplayTest, ADisplayNeedsABusAndStaysSingle) {
    CVic loose;
    EXPECT_FALSE(loose.StartDisplay());
    EXPECT_FALSE(loose.IsDisplayRunning());

    SVideoFrame frame;
    EXPECT_FALSE(vic->CopyFrame(frame));
    ASSERT_TRUE(vic->StartDisplay());
    EXPECT_TRUE(vic->StartDisplay());  // reopening keeps the one display
    frame = NextFrame(*vic);
    EXPECT_EQ(frame.width, 424u);
    EXPECT_EQ(frame.height, 240u);
    EXPECT_EQ(frame.sequence, 1u);
    EXPECT_EQ(frame.paletteSize, 16u);
    EXPECT_EQ(frame.palette[4], 0xFF3269u);
    EXPECT_EQ(NextFrame(*vic).sequence, 2u);
    EXPECT_EQ(vic->GetFrameCount(), 2u);
    vic->StopDisplay();
    EXPECT_FALSE(vic->IsDisplayRunning());
    EXPECT_TRUE(vic->CopyFrame(frame));  // the last frame stays
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(DisplayTest, RebuildTakesTheCurrentBorderSettingAndLoadingRebuilds) {
    ASSERT_TRUE(vic->StartDisplay());
    EXPECT_EQ(NextFrame(*vic).width, 424u);
    vic->SetBorderShown(false);  // not before the display is rebuilt
    EXPECT_EQ(NextFrame(*vic).width, 424u);
    vic->RebuildDisplay();
    SVideoFrame frame = NextFrame(*vic);
    EXPECT_EQ(frame.width, 320u);
    EXPECT_EQ(frame.height, 192u);
    EXPECT_EQ(frame.pixels.size(), 40u * 192);

    vic->ApplySettings(true, kNever);
    EXPECT_EQ(NextFrame(*vic).width, 424u);

    CVic settings;
    settings.SetBorderShown(false);
    settings.SetRefreshPeriod(kNever);
    CArchive out;
    settings.Serialize(out);
    CArchive in(out.Data());
    vic->Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(NextFrame(*vic).width, 320u);
}

TEST_F(DisplayTest, RendererRaisesTheVicInterrupts) {
    Bus().Write(0x300000 + 3 * 3, 3, 2, false);
    Bus().Write(0x300000 + 3 * 2, 24, 2, false);
    unit->TakeLog();
    ASSERT_TRUE(vic->StartDisplay());
    NextFrame(*vic);
    vic->StopDisplay();
    const Log log = unit->TakeLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "I7");
    EXPECT_EQ(log[1], "I7");
    EXPECT_EQ(Bus().Read(0x300000 + 3 * 4, 2), 0x8003u);
}

TEST_F(DisplayTest, StartRebuildStopTwoHundredTimes) {
    auto* vga = AddVga();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(vic->StartDisplay());
        ASSERT_TRUE(vga->StartDisplay());
        vic->SetBorderShown(i % 2 == 0);
        vic->RebuildDisplay();
        vga->RebuildDisplay();
        const SVideoFrame frame = NextFrame(*vic);
        ASSERT_EQ(frame.width, i % 2 == 0 ? 424u : 320u);
        ASSERT_EQ(NextFrame(*vga).width, 576u);
        vga->StopDisplay();
        vic->StopDisplay();
        ASSERT_FALSE(vic->IsDisplayRunning() || vga->IsDisplayRunning());
    }
    EXPECT_EQ(vic->GetFrameCount(), 200u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(DisplayTest, DevicesWithRunningDisplaysCanBeRemovedAndCleared) {
    auto* vga = AddVga();
    StartDisplays(Bus());
    EXPECT_TRUE(vic->IsDisplayRunning() && vga->IsDisplayRunning());
    const SVideoFrame frame = NextFrame(*vga);
    EXPECT_EQ(frame.paletteSize, 2u);
    EXPECT_EQ(frame.palette[1], 0xFFFFFFu);
    Bus().Remove(vga);
    StopDisplays(Bus());
    EXPECT_FALSE(vic->IsDisplayRunning());
    ASSERT_TRUE(vic->StartDisplay());
    vic->RequestFrame();
    computer.DeleteContents();  // joins the renderer before the VIC goes
}

TEST_F(DisplayTest, ARendererSlowToStopIsReportedAndStillJoined) {
    vic->SetStopTimeout(std::chrono::milliseconds(0));
    ASSERT_TRUE(vic->StartDisplay());
    host.Hold();
    vic->RequestFrame();
    ASSERT_TRUE(host.WaitInFrameReady());
    // The renderer is held inside FrameReady until the message is shown.
    Bus().Remove(vic);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "The VIC thread did not shut down properly. Try shutting down the thread with "
              "task manager.");
}

TEST_F(DisplayTest, TheProgramWritesRegistersAndMemoryWhileFramesRender) {
    auto* vga = AddVga();
    ASSERT_TRUE(vic->StartDisplay());
    ASSERT_TRUE(vga->StartDisplay());
    std::atomic<bool> done{false};
    std::thread program([&] {
        for (uint32_t i = 0; !done; ++i) {
            Bus().Write(0x300000 + 3 * (i % 8), i, 2, false);
            Bus().Write(i & 0xFFFC, i, 4, false);
            Bus().Read(0x300000 + 3 * 4, 2);
        }
    });
    for (int i = 0; i < 20; ++i) {
        NextFrame(*vic);
        NextFrame(*vga);
        if (i % 5 == 0) vic->RebuildDisplay();
    }
    done = true;
    program.join();
    vic->StopDisplay();
    vga->StopDisplay();
    EXPECT_TRUE(host.messages.empty());
}

TEST(RefreshSliderTest, StartsAtTheFirstPeriodNotLessThanTheDevicesPeriod) {
    struct {
        uint32_t period;
        int position;
    } const cases[] = {{0, 0},   {16, 0},     {17, 1},     {256, 4},
                       {300, 5}, {16384, 10}, {16385, 10}, {0xFFFFFFFF, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(CVideoDevice::RefreshSliderPosition(c.period), c.position) << c.period;
    EXPECT_EQ(CVideoDevice::RefreshPeriodAt(0), 16u);
    EXPECT_EQ(CVideoDevice::RefreshPeriodAt(4), 256u);
    EXPECT_EQ(CVideoDevice::RefreshPeriodAt(10), 16384u);
}

}  // namespace
