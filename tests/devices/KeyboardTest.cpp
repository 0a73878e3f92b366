// The keyboard register, playback on timer 0 and the Keyboard Input panel.
#include <gtest/gtest.h>

#include "core/Archive.h"
#include "devices/Keyboard.h"
#include "devices/KeyboardPanel.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

class KeyboardTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        keyboard = Place(new CKeyboard, 0x301100, 0x3011FF);
        keyboard->SetIrqCode(1);
    }

    // Fires timer 0 until playback stops; the codes delivered, in order.
    std::vector<uint32_t> PlayOut() {
        std::vector<uint32_t> codes;
        for (int step = 0; step < 100 && TimerRuns(*keyboard, 0); ++step) {
            Fire(*keyboard, 0);
            for (const std::string& event : unit->TakeLog()) {
                EXPECT_EQ(event, "I1");
                codes.push_back(keyboard->PeekScanCode());
            }
        }
        EXPECT_FALSE(TimerRuns(*keyboard, 0));
        return codes;
    }

    CKeyboard* keyboard = nullptr;
};

TEST_F(KeyboardTest, ReadReturnsTheCodeOnceAndAlwaysWithdraws) {
    EXPECT_EQ(Bus().Read(0x301100, 1), 0u);  // nothing delivered yet
    unit->TakeLog();
    keyboard->DeliverCode(0x1E);
    EXPECT_EQ(Bus().Read(0x301140, 1), 0x1Eu);
    EXPECT_EQ(Bus().Read(0x3011FF, 4), 0u);
    EXPECT_EQ(Bus().Read(0x301100, 2), 0u);
    EXPECT_EQ(unit->TakeLog(), (Log{"I1", "C15", "C15", "C15"}));
    EXPECT_EQ(Bus().Write(0x301100, 0x55, 1, false), 0xFFFFFFFFu);
    EXPECT_EQ(keyboard->PeekScanCode(), 0u);
}

struct SPlayback {
    const char* text;
    int repeat;
    std::vector<uint32_t> codes;
};

class KeyboardPlaybackTest : public KeyboardTest,
                             public ::testing::WithParamInterface<SPlayback> {};

TEST_P(KeyboardPlaybackTest, DeliversTheCodesInStepOrder) {
    const SPlayback& c = GetParam();
    keyboard->SetKeyCodeText(c.text);
    keyboard->StartPlayback(55, c.repeat);
    EXPECT_EQ(TimerPeriod(*keyboard, 0), 55u);
    EXPECT_EQ(PlayOut(), c.codes);
    EXPECT_EQ(keyboard->GetPassesPlayed(), 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, KeyboardPlaybackTest,
                         ::testing::Values(
                             // The first code comes once more at the wrap that ends the last pass.
                             SPlayback{"1E 9E", 0, {0x1E, 0x9E, 0x1E}},
                             SPlayback{"1E 9E", 1, {0x1E, 0x9E, 0x1E, 0x9E, 0x1E}},
                             // A trailing blank puts a 0 code at the end of the text.
                             SPlayback{"1E 9E ", 0, {0x1E, 0x9E, 0x00, 0x1E}},
                             SPlayback{"", 0, {0x00, 0x00}}, SPlayback{"1E", -1, {}},
                             // strtoul's rules: blanks skipped, 0x prefix, sign, any one separator.
                             SPlayback{"0x2A,3b", 0, {0x2A, 0x3B, 0x2A}},
                             SPlayback{"  5\t-1", 0, {0x05, 0xFFFFFFFF, 0x05}},
                             SPlayback{"123456789 1", 0, {0xFFFFFFFF, 0x01, 0xFFFFFFFF}}));

class KeyboardPanelTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        panel = &keyboard->OpenPanel();
        panel->SetChangedHandler([this] { ++changes; });
        unit->TakeLog();
    }
    // Clicks id and returns the code delivered (or -1 when none was).
    int64_t Click(int id) {
        panel->ClickKey(id);
        const Log log = unit->TakeLog();
        if (log.empty()) return -1;
        EXPECT_EQ(log, Log{"I1"});
        return keyboard->PeekScanCode();
    }
    static constexpr int Key(int code) { return CKeyboardPanel::kFirstKeyId + code; }

    CKeyboardPanel* panel = nullptr;
    int changes = 0;
};

TEST_F(KeyboardPanelTest, KeyClicksSendTheCodeWithTheBreakBitFromTheButtonState) {
    struct {
        int id;
        int64_t code;
    } const clicks[] = {
        {Key(0x1E), 0x9E},                      // A: the button is now set
        {Key(0x1E), 0x1E},                      // and clear again
        {CKeyboardPanel::kRightCtrlId, 0x1D},   // the left Ctrl's state decides
        {CKeyboardPanel::kLeftCtrlId, 0x9D},    //
        {CKeyboardPanel::kRightCtrlId, 0x9D},   //
        {CKeyboardPanel::kRightAltId, 0x38},    //
        {Key(0x6C), 0xEC},                      // keypad Enter
        {CKeyboardPanel::kFirstKeyId - 1, -1},  // outside the key range
        {CKeyboardPanel::kLastKeyId + 1, -1},   //
    };
    for (const auto& c : clicks)
        EXPECT_EQ(Click(c.id), c.code) << c.id;
    EXPECT_TRUE(panel->IsKeyChecked(CKeyboardPanel::kRightAltId));
    EXPECT_FALSE(panel->IsKeyChecked(CKeyboardPanel::kRightCtrlId));
    EXPECT_FALSE(panel->IsKeyChecked(Key(0x1E)));
}

TEST_F(KeyboardPanelTest, LockKeysSwitchTheirIndicators) {
    EXPECT_FALSE(panel->IsCapsOn() || panel->IsNumOn() || panel->IsScrollOn());
    Click(Key(0x3A));
    EXPECT_TRUE(panel->IsCapsOn());
    Click(Key(0x45));
    panel->SetRecord(true);  // recorded clicks switch them too
    Click(Key(0x46));
    EXPECT_TRUE(panel->IsNumOn() && panel->IsScrollOn());
    Click(Key(0x3A));
    EXPECT_FALSE(panel->IsCapsOn());
    EXPECT_TRUE(panel->IsNumOn());
}

TEST_F(KeyboardPanelTest, RecordAppendsCodesAndPlayPlaysThePanelText) {
    panel->SetRecord(true);
    EXPECT_EQ(Click(Key(0x10)), -1);  // recorded, not delivered
    EXPECT_EQ(Click(Key(0x10)), -1);
    EXPECT_EQ(panel->GetText(), "90 10 ");
    EXPECT_EQ(keyboard->GetKeyCodeText(), "");  // the panel holds the master copy

    const int before = changes;
    panel->SetPlay(true);
    EXPECT_FALSE(panel->IsRecording());
    EXPECT_EQ(TimerPeriod(*keyboard, 0), 2805u);  // rate 50
    Fire(*keyboard, 0);
    panel->SetText("90 11");  // edited while playing: the next step reads it
    unit->TakeLog();
    EXPECT_EQ(PlayOut(), (std::vector<uint32_t>{0x11, 0x90}));
    EXPECT_FALSE(panel->IsPlayChecked());
    EXPECT_GT(changes, before);
    EXPECT_EQ(keyboard->GetKeyCodeText(), "90 11");
}

TEST_F(KeyboardPanelTest, RewindAndRecordStopPlayback) {
    panel->SetText("01 02 03");
    panel->SetPlay(true);
    Fire(*keyboard, 0);
    Fire(*keyboard, 0);
    EXPECT_EQ(keyboard->GetTextPosition(), 6u);

    panel->SetRecord(true);
    EXPECT_FALSE(panel->IsPlayChecked());
    EXPECT_FALSE(TimerRuns(*keyboard, 0));
    panel->SetPlay(true);  // continues where it stopped
    EXPECT_FALSE(panel->IsRecording());
    unit->TakeLog();
    Fire(*keyboard, 0);
    EXPECT_EQ(keyboard->PeekScanCode(), 3u);

    panel->SetRecord(true);
    panel->Rewind();
    EXPECT_FALSE(panel->IsPlayChecked() || panel->IsRecording());
    EXPECT_FALSE(TimerRuns(*keyboard, 0));
    EXPECT_EQ(keyboard->GetTextPosition(), 0u);
    panel->SetPlay(false);
    EXPECT_FALSE(TimerRuns(*keyboard, 0));
}

TEST_F(KeyboardPanelTest, RateAndRepeatStayInTheirRanges) {
    struct {
        int rate;
        uint32_t period;
    } const rates[] = {{100, 55}, {1, 5500}, {50, 2805}, {0, 5500}, {150, 55}};
    for (const auto& r : rates) {
        panel->SetRate(r.rate);
        EXPECT_EQ(panel->GetPlaybackPeriod(), r.period) << r.rate;
    }
    panel->SetRepeatCount(-5);
    EXPECT_EQ(panel->GetRepeatCount(), -1);
    panel->SetRepeatCount(40000);
    EXPECT_EQ(panel->GetRepeatCount(), 32767);
    // A reopened panel starts from what the keyboard kept.
    panel->SetText("2A ");
    panel->SetRate(7);
    keyboard->ClosePanel();
    EXPECT_EQ(keyboard->GetKeyCodeText(), "2A ");
    CKeyboardPanel& reopened = keyboard->OpenPanel();
    EXPECT_EQ(reopened.GetText(), "2A ");
    EXPECT_EQ(reopened.GetRate(), 7);
}

TEST_F(KeyboardTest, StoresItsIrqCodeAndTextAfterTheDeviceRecord) {
    keyboard->SetName("Keyboard");
    keyboard->SetKeyCodeText("stale");
    keyboard->OpenPanel().SetText("1E 9E ");  // an open panel's text is what is stored
    CArchive out;
    keyboard->Serialize(out);
    const std::vector<uint8_t>& bytes = out.Data();
    ASSERT_EQ(bytes.size(), 4u + 4 + 9 + 4 + 7);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 17, bytes.end()),
              (std::vector<uint8_t>{1, 0, 0, 0, 6, '1', 'E', ' ', '9', 'E', ' '}));

    CKeyboard loaded;
    CArchive in(bytes);
    loaded.Serialize(in);
    ASSERT_FALSE(in.Failed());
    EXPECT_EQ(loaded.GetName(), "Keyboard");
    EXPECT_EQ(loaded.GetFrom(), 0x301100u);
    EXPECT_EQ(loaded.GetTo(), 0x3011FFu);
    EXPECT_EQ(loaded.GetIrqCode(), 1);
    EXPECT_EQ(loaded.GetKeyCodeText(), "1E 9E ");
    EXPECT_EQ(CKeyboard().GetIrqCode(), 0);
}

}  // namespace
