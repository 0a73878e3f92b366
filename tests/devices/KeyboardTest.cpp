// The keyboard register, playback on timer 0 and the Keyboard Input panel.
#include "devices/Keyboard.h"
#include "devices/KeyboardPanel.h"
#include "tests/devices/DeviceTestSupport.h"

namespace {

using P = CKeyboardPanel;
constexpr int kKey = P::kFirstKeyId;

class KeyboardTest : public CDeviceTest {
protected:
    void SetUp() override {
        CDeviceTest::SetUp();
        keyboard = Place(new CKeyboard, 0x301100, 0x3011FF);
        keyboard->SetIrqCode(1);
    }
    // Fires timer 0 until playback stops; the codes delivered, in order.
    Words PlayOut() {
        Words codes;
        for (int step = 0; step < 100 && Fire(*keyboard, 0); ++step)
            for (size_t n = unit->TakeLog().size(); n > 0; --n)
                codes.push_back(keyboard->PeekScanCode());
        return codes;
    }
    CKeyboard* keyboard = nullptr;
};

TEST_F(KeyboardTest, ReadReturnsTheCodeOnceAndAlwaysWithdraws) {
    EXPECT_EQ(Bus().Read(0x301100, 1), 0u);
    keyboard->DeliverCode(0x1E);
    Bus().Write(0x301100, 0x55, 1, false);  // writes do nothing
    EXPECT_EQ(Bus().Read(0x301140, 1), 0x1Eu);
    EXPECT_EQ(Bus().Read(0x3011FF, 4), 0u);
    EXPECT_EQ(unit->TakeLog(), (Log{"C15", "I1", "C15", "C15"}));
}

TEST_F(KeyboardTest, PlaybackDeliversTheCodesInStepOrder) {
    const std::tuple<const char*, int, Words> cases[] = {
        // Text, repeat count, codes. The first code comes once more at the wrap that ends the last
        // pass; a trailing
        // blank is a 0 code; strtoul's rules: blanks skipped, 0x prefix, sign, any one
        // separator, saturation.
        {"1E 9E", 0, {0x1E, 0x9E, 0x1E}},
        {"1E 9E", 1, {0x1E, 0x9E, 0x1E, 0x9E, 0x1E}},
        {"1E 9E ", 0, {0x1E, 0x9E, 0x00, 0x1E}},
        {"", 0, {0x00, 0x00}},
        {"1E", -1, {}},
        {"0x2A,3b", 0, {0x2A, 0x3B, 0x2A}},
        {"  5\t-1", 0, {0x05, 0xFFFFFFFF, 0x05}},
        {"123456789 1", 0, {0xFFFFFFFF, 0x01, 0xFFFFFFFF}}};
    for (const auto& [text, repeat, codes] : cases) {
        keyboard->SetKeyCodeText(text);
        keyboard->RewindText();
        keyboard->StartPlayback(55, repeat);
        EXPECT_EQ(PlayOut(), codes) << text << " " << repeat;
    }
}

TEST_F(KeyboardTest, PanelKeysSendCodesWithTheBreakBitAndSwitchTheLockIndicators) {
    CKeyboardPanel& panel = keyboard->OpenPanel();
    // key id, code delivered (-1: none), lock indicators (Caps 1, Num 2, Scroll 4)
    const std::array<int, 3> clicks[] = {
        // A set, then clear; the right Ctrl and Alt send the left ones with their state;
        // keypad Enter; the lock keys; ids outside the key range.
        {kKey + 0x1E, 0x9E, 0},    {kKey + 0x1E, 0x1E, 0},     {P::kRightCtrlId, 0x1D, 0},
        {P::kLeftCtrlId, 0x9D, 0}, {P::kRightCtrlId, 0x9D, 0}, {P::kRightAltId, 0x38, 0},
        {kKey + 0x6C, 0xEC, 0},    {kKey + 0x3A, 0xBA, 1},     {kKey + 0x45, 0xC5, 3},
        {kKey + 0x46, 0xC6, 7},    {kKey + 0x3A, 0x3A, 6},     {kKey - 1, -1, 6},
        {P::kLastKeyId + 1, -1, 6}};
    for (auto [id, code, locks] : clicks) {
        panel.ClickKey(id);
        const bool delivered = unit->TakeLog() == Log{"I1"};
        EXPECT_EQ(delivered ? int(keyboard->PeekScanCode()) : -1, code) << id;
        EXPECT_EQ(panel.IsCapsOn() + 2 * panel.IsNumOn() + 4 * panel.IsScrollOn(), locks) << id;
    }
}

TEST_F(KeyboardTest, PanelRecordsPlaysAndRewinds) {
    CKeyboardPanel& panel = keyboard->OpenPanel();
    int changes = 0;
    panel.SetChangedHandler([&] { ++changes; });
    panel.SetRecord(true);
    panel.ClickKey(kKey + 0x10);
    panel.ClickKey(kKey + 0x11);
    EXPECT_TRUE(unit->TakeLog().empty());  // recorded, not delivered
    EXPECT_EQ(panel.GetText(), "90 91 ");
    panel.SetPlay(true);
    EXPECT_FALSE(panel.IsRecording());
    EXPECT_EQ(Period(*keyboard, 0), 2805u);  // rate 50
    Fire(*keyboard, 0);
    panel.SetText("90 11 12");  // edited while playing: the next step reads it
    Fire(*keyboard, 0);
    panel.SetRecord(true);  // stops playback, and Play goes on where it stopped
    EXPECT_EQ(Period(*keyboard, 0), 0u);
    panel.SetPlay(true);
    unit->TakeLog();
    changes = 0;
    EXPECT_EQ(PlayOut(), (Words{0x12, 0x90}));
    EXPECT_FALSE(panel.IsPlayChecked());
    EXPECT_EQ(changes, 1);
    panel.SetPlay(true);
    panel.Rewind();
    EXPECT_FALSE(panel.IsPlayChecked() || Period(*keyboard, 0));
    EXPECT_EQ(keyboard->GetTextPosition(), 0u);

    for (auto [rate, period] : {std::pair{100, 55}, {1, 5500}, {0, 5500}, {150, 55}, {7, 5170}}) {
        panel.SetRate(rate);
        EXPECT_EQ(panel.GetPlaybackPeriod(), uint32_t(period)) << rate;
    }
    // Closing keeps the text and rate; the record holds the IRQ code, then the
    // text (an open panel's).
    keyboard->ClosePanel();
    EXPECT_EQ(keyboard->OpenPanel().GetText(), "90 11 12");
    EXPECT_EQ(keyboard->GetPanel()->GetRate(), 7);
    keyboard->GetPanel()->SetText("1E 9E 1");
    EXPECT_EQ(Record(*keyboard, 3), (Words{1, 0x20453107, 0x31204539}));
    EXPECT_EQ(Reload(*keyboard)->GetKeyCodeText(), "1E 9E 1");
}

}  // namespace
