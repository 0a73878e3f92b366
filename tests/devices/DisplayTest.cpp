// The displays' renderer threads: start, rebuild, render on request, stop,
// the published frame and the devices' lifetimes. Waits are for frame-ready
// notices, never for time.
#include <condition_variable>
#include <thread>

#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

// A host that lets a test wait for frame-ready notices; a held frame keeps
// the renderer inside FrameReady until the host shows a message.
class CFrameHost : public CTestHost {
public:
    void FrameReady(CDevice& device) override {
        std::unique_lock lock(m_lock);
        CTestHost::FrameReady(device);
        m_signal.notify_all();
        m_signal.wait(lock, [this] { return !m_held; });
    }
    void ShowMessage(std::string_view text, EMessageIcon icon) override {
        CTestHost::ShowMessage(text, icon);
        std::lock_guard guard(m_lock);
        m_held = false;
        m_signal.notify_all();
    }
    // Asks for a frame and waits until more than count frames are ready
    // (at most a minute, against a hang).
    bool RequestAndWait(CVideoDevice& device, int count, bool hold = false) {
        std::unique_lock lock(m_lock);
        m_held = hold;
        device.RequestFrame();
        return m_signal.wait_for(lock, std::chrono::minutes(1), [&] { return frames > count; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_held = false;
};

class DisplayTest : public CWorkspaceTest<CFrameHost> {
protected:
    void SetUp() override {
        CWorkspaceTest::SetUp();
        AddRam(0, 0x10000);
        vic = Place(new CVic, 0x300000, 0x300FFF, 3);
        vga = Place(new CVo16VGA, 0, 0);
        vic->SetRefreshPeriod(3600000);  // every frame in these tests is asked for
        vga->SetRefreshPeriod(3600000);
    }
    // The frame published after a request.
    SVideoFrame NextFrame(CVideoDevice& device) {
        EXPECT_TRUE(host.RequestAndWait(device, host.frames));
        SVideoFrame frame;
        EXPECT_TRUE(device.CopyFrame(frame));
        return frame;
    }
    CVic* vic = nullptr;
    CVo16VGA* vga = nullptr;
};

TEST_F(DisplayTest, ABorderChangeWaitsForARebuildAndLoadingRebuilds) {
    ASSERT_TRUE(vic->StartDisplay());
    EXPECT_TRUE(vic->StartDisplay());  // reopening keeps the one display
    EXPECT_EQ(NextFrame(*vic).width, 424u);
    // A border change waits for a rebuild, never mid-frame; a border colour shows at once.
    vic->SetBorderShown(false);
    Bus().Write(0x300000 + 3 * 7, 2, 2, false);
    const SVideoFrame bordered = NextFrame(*vic);
    EXPECT_EQ((Words{bordered.width, bordered.pixels[0]}), (Words{424, 0x22222222}));
    CArchive out;  // loading the device's record rebuilds with the loaded settings
    vic->Serialize(out);
    CArchive in(out.Data());
    vic->Serialize(in);
    EXPECT_EQ(NextFrame(*vic).width, 320u);
    vic->StopDisplay();
    SVideoFrame frame;
    EXPECT_TRUE(vic->CopyFrame(frame));  // the last frame stays
    EXPECT_EQ((Words{frame.height, uint32_t(frame.sequence)}), (Words{192, 3}));
    EXPECT_TRUE(host.messages.empty());
}

// A program writes registers and memory all the while.
TEST_F(DisplayTest, StartRebuildStopTwoHundredTimes) {
    std::atomic<bool> done{false};
    std::thread program([&] {
        for (uint32_t i = 0; !done; ++i) {
            Bus().Write(0x300000 + 3 * (i % 8), i, 2, false);
            Bus().Write(i & 0xFFFC, i, 4, false);
        }
    });
    for (int i = 0; i < 200; ++i) {
        StartDisplays(Bus());
        vic->SetBorderShown(i % 2 == 0);
        vic->RebuildDisplay();
        vga->RebuildDisplay();
        ASSERT_EQ(NextFrame(*vic).width, i % 2 == 0 ? 424u : 320u);
        ASSERT_EQ(NextFrame(*vga).palette[1], 0xFFFFFFu);
        StopDisplays(Bus());
        ASSERT_FALSE(vic->IsDisplayRunning() || vga->IsDisplayRunning());
    }
    done = true;
    program.join();
    EXPECT_EQ(vic->GetFrameCount(), 200u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(DisplayTest, DevicesAreDeletedWhileTheirRenderersRunOrAreSlowToStop) {
    vic->SetStopTimeout(std::chrono::milliseconds(0));
    ASSERT_TRUE(vic->StartDisplay() && vga->StartDisplay());
    ASSERT_TRUE(host.RequestAndWait(*vic, 0, true));
    Bus().Remove(vic);  // the renderer is held inside FrameReady until the message
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "The VIC thread did not shut down properly. Try shutting down the thread with "
              "task manager.");
    vga->RequestFrame();
    computer.DeleteContents();  // joins the renderer before the VGA goes
}

TEST(RefreshSliderTest, StartsAtTheFirstPeriodNotLessThanTheDevicesPeriod) {
    const std::pair<uint32_t, int> cases[] = {{0, 0},    {16, 0},    {17, 1},     {300, 5},
                                              {8192, 9}, {8193, 10}, {16384, 10}, {99999, 10}};
    for (auto [period, position] : cases)
        EXPECT_EQ(CVideoDevice::RefreshSliderPosition(period), position) << period;
    EXPECT_EQ(CVideoDevice::RefreshPeriodAt(4), 256u);
}

}  // namespace
