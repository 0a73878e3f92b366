// The breakpoint window's model: the sorted list, its refusals and messages,
// the rebuild of the unit's set and the run-limit controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/BreakpointList.h"
#include "core/Computer.h"
#include "core/Mpus.h"
#include "core/ViewHint.h"
#include "support/TestHost.h"

namespace {

using Entries = std::vector<std::string>;

class CFixedUnit : public CMpu {
public:
    uint32_t GetPC() const override { return pc; }
    uint32_t pc = 0;
};

class BreakpointListTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        computer.GetMpus()->Add(unit);
        computer.SetActiveProcessor(0);
    }
    std::vector<uint32_t> Set() const {
        std::vector<uint32_t> addresses;
        for (int i = 0; i < unit->Breakpoints().GetCount(); ++i)
            addresses.push_back(unit->Breakpoints().GetAt(i));
        return addresses;
    }

    CTestHost host;
    CComputer computer{&host};
    CFixedUnit* unit = new CFixedUnit;
};

TEST_F(BreakpointListTest, AddKeepsTheListSortedIgnoresNonAddressesAndRebuildsTheSet) {
    CBreakpointList list(computer, 0);
    struct {
        const char* text;
        bool added;
    } const cases[] = {{"2000", true},     {" 0x1f", true}, {"abc", true}, {"100000", true},
                       {"FFFFFFFF", true}, {"12G", true},   {"0", false},  {"", false},
                       {"xyz", false},     {"-5", false},   {"0x", false}, {"100000000", false},
                       {"   ", false}};
    for (const auto& c : cases)
        EXPECT_EQ(list.Add(c.text), c.added) << c.text;
    EXPECT_EQ(list.GetEntries(),
              (Entries{"000012", "00001F", "000ABC", "002000", "100000", "FFFFFFFF"}));
    EXPECT_EQ(Set(), (std::vector<uint32_t>{0x12, 0x1F, 0xABC, 0x2000, 0x100000, 0xFFFFFFFF}));
    EXPECT_EQ(host.hints.back(), uint32_t{kHintBreakpoints});
    EXPECT_TRUE(host.messages.empty());
    list.Remove(1);
    list.Remove(6);  // nothing selected there
    list.Remove(-1);
    EXPECT_EQ(Set(), (std::vector<uint32_t>{0x12, 0xABC, 0x2000, 0x100000, 0xFFFFFFFF}));
}

TEST_F(BreakpointListTest, DuplicatesAndAThirtyFirstEntryAreRefusedWithTheirMessages) {
    CBreakpointList list(computer, 0);
    ASSERT_TRUE(list.Add("1234"));
    EXPECT_FALSE(list.Add("0x001234"));
    for (uint32_t i = 1; i < 30; ++i)
        ASSERT_TRUE(list.Add(CBreakpointList::FormatAddress(i)));
    EXPECT_FALSE(list.Add("1234"));  // a full list refuses before it looks for duplicates
    EXPECT_FALSE(list.Add("0"));
    std::vector<std::string> texts;
    for (const auto& message : host.messages) {
        texts.push_back(message.text);
        EXPECT_EQ(message.icon, EMessageIcon::Exclamation);
    }
    EXPECT_EQ(texts, (Entries{CBreakpointList::kAlreadyDefinedText, CBreakpointList::kTooManyText,
                              CBreakpointList::kTooManyText}));
    EXPECT_EQ(unit->Breakpoints().GetCount(), 30);
}

TEST_F(BreakpointListTest, RefreshesFromTheSetOnTheBreakpointHint) {
    unit->Breakpoints().Add(0x300);
    CBreakpointList list(computer, 0);  // a window opens showing the set
    EXPECT_EQ(list.GetEntries(), Entries{"000300"});
    unit->pc = 0;
    computer.ToggleBreakpoint();  // address 0 comes from Toggle Breakpoint only
    unit->pc = 0x100;
    computer.ToggleBreakpoint();
    list.OnUpdate(kHintProcessorState);
    EXPECT_EQ(list.GetEntries().size(), 1u);
    list.OnUpdate(host.hints.back());
    EXPECT_EQ(list.GetEntries(), (Entries{"000000", "000100", "000300"}));
}

TEST_F(BreakpointListTest, UnitsThatAreGoneAreLeftAlone) {
    EXPECT_FALSE(CBreakpointList(computer, 3).Add("10"));
    computer.DeleteContents();
    CBreakpointList cleared(computer, 0);
    EXPECT_FALSE(cleared.Add("10"));
    cleared.Remove(0);
    cleared.OnUpdate(kHintBreakpoints);
    EXPECT_TRUE(cleared.GetEntries().empty());
}

TEST_F(BreakpointListTest, LimitControlsEditTheWorkspaceLimits) {
    CBreakpointList list(computer, 0);
    list.SetTimeLimitEnabled(true);
    list.SetTimeLimit(12);
    list.SetInstructionLimitEnabled(true);
    list.SetInstructionLimit(3456);
    const SRunLimits limits = computer.GetRunLimits();
    EXPECT_TRUE(limits.timeEnabled && limits.instructionsEnabled);
    EXPECT_EQ(limits.seconds, 12);
    EXPECT_EQ(limits.instructions, 3456);

    computer.SetRunLimits({false, 7, false, 8});  // the Global Run Limits dialog
    EXPECT_FALSE(list.IsTimeLimitEnabled() || list.IsInstructionLimitEnabled());
    EXPECT_EQ(list.GetTimeLimit(), 7);
    EXPECT_EQ(list.GetInstructionLimit(), 8);
    EXPECT_TRUE(host.hints.empty());
}

}  // namespace
