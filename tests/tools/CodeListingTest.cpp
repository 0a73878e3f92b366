// The code window's model: layout, marks, following the program counter,
// scrolling, run-command keys and View Address; on a fake unit with two-byte
// instructions and on the real cores.
#include "tools/CodeListing.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/Ram.h"
#include "core/ViewHint.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "support/TestHost.h"
#include "tools/StringEx.h"

namespace {

using EMark = SListingLine::EMark;

// Every instruction is two bytes; the texts come in lower case.
class CFakeUnit : public CMpu {
public:
    CFakeUnit(uint32_t codeUnit, uint32_t scale, uint32_t length = 2) : m_length(length) {
        m_codeUnit = codeUnit;
        m_addressScale = scale;
    }
    uint32_t GetPC() const override { return pc; }
    void Disassemble(uint32_t address, uint32_t* length, std::string* addressText,
                     std::string* bytesText, std::string* mnemonicText, std::string* operandText,
                     std::string* commentText) override {
        m_texts[kAddressText] = FormatText("%04X", address);
        m_texts[kBytesText] = FormatText("%02x %02x", address & 0xFF, (address + 1) & 0xFF);
        m_texts[kMnemonicText] = "ld";
        m_texts[kOperandText] = FormatText("#%x", address & 0xFF);
        m_texts[kCommentText] = "never shown";
        ++calls;
        PublishDisassembly(m_length, length, addressText, bytesText, mnemonicText, operandText,
                           commentText);
    }
    uint32_t pc = 0;
    int calls = 0;

private:
    uint32_t m_length;
};

class CodeListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.Attach(&computer);
        computer.NewContents();
        auto* ram = new CRam;
        ram->SetRange(0, 0xFFFF);
        ram->SetSize(0x10000);
        computer.GetDevices()->AddTail(ram);
    }
    template <typename TUnit>
    TUnit* AddUnit(TUnit* unit) {
        computer.GetMpus()->Add(unit);
        unit->SetBus(computer.GetDevices());
        return unit;
    }
    std::vector<uint32_t> Addresses(const CCodeListing& listing) const {
        std::vector<uint32_t> addresses;
        for (const SListingLine& line : listing.Lines())
            addresses.push_back(line.address);
        return addresses;
    }

    CTestHost host;
    CComputer computer{&host};
};

TEST_F(CodeListingTest, LaysOutBothWaysInUpperCase) {
    AddUnit(new CFakeUnit(1, 1))->pc = 0x9999;
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x12AB);
    listing.SetLineCount(1);
    SListingLine line = listing.Lines().at(0);
    EXPECT_EQ(line.lead, "12AB ");
    EXPECT_EQ(line.mnemonic, "LD");
    EXPECT_EQ(line.operand, "#AB");
    EXPECT_EQ(line.mnemonicColumn, 6);
    EXPECT_EQ(line.operandColumn, 15);
    EXPECT_EQ(line.text, "12AB  LD       #AB");

    listing.SetShowMachineCode(true);
    line = listing.Lines().at(0);
    EXPECT_EQ(line.lead, "12AB AB AC        ");
    EXPECT_EQ(line.mnemonicColumn, 21);
    EXPECT_EQ(line.operandColumn, 30);
    EXPECT_EQ(line.text, "12AB AB AC           LD       #AB");
}

TEST_F(CodeListingTest, MarksTheProgramCounterOverABreakpoint) {
    CFakeUnit* unit = AddUnit(new CFakeUnit(1, 1));
    unit->pc = 0x104;
    unit->Breakpoints().Add(0x102);
    unit->Breakpoints().Add(0x104);
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x100);
    listing.SetLineCount(4);

    std::vector<EMark> marks;
    for (const SListingLine& line : listing.Lines())
        marks.push_back(line.mark);
    EXPECT_EQ(marks, (std::vector<EMark>{EMark::kNone, EMark::kBreakpoint, EMark::kProgramCounter,
                                         EMark::kNone}));
    EXPECT_EQ(unit->GetNextInstructionAddress(), 0x106u);
    EXPECT_EQ(listing.GetBottomAddress(), 0x108u);
}

TEST_F(CodeListingTest, ScaledProgramCounterAndBreakpoints) {
    CFakeUnit* unit = AddUnit(new CFakeUnit(2, 2));
    unit->pc = 0x81;  // byte address 0x102
    unit->Breakpoints().Add(0x80);
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x100);
    listing.SetLineCount(2);
    EXPECT_EQ(listing.Lines().at(0).mark, EMark::kBreakpoint);
    EXPECT_EQ(listing.Lines().at(1).mark, EMark::kProgramCounter);
}

struct SMove {
    const char* name;
    EListingKey key;
    EListingScroll scroll;
    uint32_t top;
};

class CodeListingMoveTest : public CodeListingTest, public ::testing::WithParamInterface<SMove> {};

// Code unit 3, instructions of 2 bytes, 5 lines from 0x1000.
TEST_P(CodeListingMoveTest, MovesTheTop) {
    const SMove& c = GetParam();
    AddUnit(new CFakeUnit(3, 1));
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x1000);
    listing.SetLineCount(5);
    if (c.key != EListingKey::kOther) {
        EXPECT_TRUE(listing.OnKey(c.key));
    } else {
        EXPECT_EQ(listing.OnScroll(c.scroll), c.scroll != EListingScroll::kOther);
    }
    EXPECT_EQ(listing.GetTopAddress(), c.top);
    EXPECT_EQ(Addresses(listing).front(), c.top);  // relisted
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeListingMoveTest,
    ::testing::Values(
        SMove{"Up", EListingKey::kUp, EListingScroll::kOther, 0x0FFD},
        SMove{"DownByTheInstruction", EListingKey::kDown, EListingScroll::kOther, 0x1002},
        SMove{"PageUpByTwentyCodeUnits", EListingKey::kPageUp, EListingScroll::kOther, 0x0FC4},
        SMove{"PageDownToTheBottom", EListingKey::kPageDown, EListingScroll::kOther, 0x100A},
        SMove{"ScrollLineUp", EListingKey::kOther, EListingScroll::kLineUp, 0x0FFD},
        SMove{"ScrollLineDownByTheCodeUnit", EListingKey::kOther, EListingScroll::kLineDown,
              0x1003},
        SMove{"OtherScrolling", EListingKey::kOther, EListingScroll::kOther, 0x1000}),
    [](const ::testing::TestParamInfo<SMove>& info) { return info.param.name; });

TEST_F(CodeListingTest, UpFromZeroWraps) {
    AddUnit(new CFakeUnit(1, 1));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(2);
    listing.OnKey(EListingKey::kUp);
    EXPECT_EQ(Addresses(listing), (std::vector<uint32_t>{0xFFFFFFFF, 0x1}));
}

struct SFollow {
    const char* name;
    uint32_t pc;
    bool moves;
};

class CodeListingFollowTest : public CodeListingTest,
                              public ::testing::WithParamInterface<SFollow> {};

// Four lines from 0x200 show 0x200 to 0x207.
TEST_P(CodeListingFollowTest, RestartsAtTheProgramCounterWhenItLeavesTheLines) {
    const SFollow& c = GetParam();
    CFakeUnit* unit = AddUnit(new CFakeUnit(1, 1));
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x200);
    listing.SetLineCount(4);
    unit->pc = c.pc;
    host.hints.clear();

    computer.RefreshUnit(0);

    EXPECT_EQ(listing.GetTopAddress(), c.moves ? c.pc : 0x200u);
    EXPECT_EQ(host.hints.back(),
              c.moves ? (kHintProcessorState | kHintCodeMoved) : uint32_t{kHintProcessorState});
    EXPECT_EQ(unit->GetNextInstructionAddress(), c.pc + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodeListingFollowTest,
    ::testing::Values(SFollow{"AtTheTop", 0x200, false}, SFollow{"OnTheLastLine", 0x206, false},
                      SFollow{"AtTheBottom", 0x208, true}, SFollow{"BelowTheTop", 0x1FE, true},
                      SFollow{"FarAway", 0x8000, true}),
    [](const ::testing::TestParamInfo<SFollow>& info) { return info.param.name; });

TEST_F(CodeListingTest, FollowsOnlyItsOwnUnitAndUnregisters) {
    AddUnit(new CFakeUnit(1, 1))->pc = 0x10;
    AddUnit(new CFakeUnit(1, 1))->pc = 0x20;
    CCodeListing first(computer, 0);
    {
        CCodeListing second(computer, 1);
        second.SetLineCount(3);
        first.SetLineCount(3);
        computer.RefreshUnit(1);
        EXPECT_EQ(second.GetTopAddress(), 0x20u);
        EXPECT_EQ(first.GetTopAddress(), 0u);
        computer.RefreshAll();
        EXPECT_EQ(first.GetTopAddress(), 0x10u);
    }
    computer.RefreshAll();  // the second listing is gone and not called
}

TEST_F(CodeListingTest, SingleKeysGoToTheCommandSink) {
    AddUnit(new CFakeUnit(1, 1));
    AddUnit(new CFakeUnit(1, 1));
    CCodeListing listing(computer, 1);
    EXPECT_FALSE(listing.OnKey(EListingKey::kR));  // no sink yet
    std::vector<std::pair<ERunCommand, int>> sent;
    listing.SetCommandSink(
        [&](ERunCommand command, int slot) { sent.emplace_back(command, slot); });
    for (char c : std::string("BoRsx"))
        listing.OnKey(CCodeListing::KeyFromCharacter(c));
    listing.OnKey(EListingKey::kPause);
    EXPECT_EQ(sent, (std::vector<std::pair<ERunCommand, int>>{{ERunCommand::kBounceOver, 1},
                                                              {ERunCommand::kStepOut, 1},
                                                              {ERunCommand::kRun, 1},
                                                              {ERunCommand::kStepInto, 1},
                                                              {ERunCommand::kStop, 1}}));
    EXPECT_EQ(listing.GetTopAddress(), 0u);
}

TEST_F(CodeListingTest, ViewAddressMovesOnlyToClaimedAddresses) {
    AddUnit(new CFakeUnit(2, 2));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(2);
    host.hints.clear();

    EXPECT_TRUE(listing.ViewAddress("80"));  // times the address scale
    EXPECT_EQ(listing.GetTopAddress(), 0x100u);
    EXPECT_EQ(host.hints, std::vector<uint32_t>{kHintCodeMoved});

    EXPECT_FALSE(listing.ViewAddress("10000"));
    EXPECT_EQ(listing.GetTopAddress(), 0x100u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "The address is not in any valid range.");
    EXPECT_EQ(host.messages[0].icon, EMessageIcon::Stop);

    EXPECT_TRUE(listing.ViewAddress("nonsense"));  // no digits read as 0
    EXPECT_EQ(listing.GetTopAddress(), 0u);
}

TEST_F(CodeListingTest, AUnitWithoutLengthsStillMovesOn) {
    AddUnit(new CFakeUnit(3, 1, 0));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(3);
    EXPECT_EQ(Addresses(listing), (std::vector<uint32_t>{0, 3, 6}));
    listing.OnKey(EListingKey::kDown);
    EXPECT_EQ(listing.GetTopAddress(), 3u);
}

TEST_F(CodeListingTest, EmptySlotsAndWorkspacesListNothingHarmful) {
    CCodeListing listing(computer, 5);  // the null unit's slot
    listing.SetLineCount(3);
    EXPECT_EQ(Addresses(listing), (std::vector<uint32_t>{0, 1, 2}));
    computer.DeleteContents();
    listing.Relist();
    EXPECT_TRUE(listing.Lines().empty());
    EXPECT_FALSE(listing.FollowProgramCounter());
    EXPECT_FALSE(listing.ViewAddress("0"));
}

TEST_F(CodeListingTest, ANewWindowTakesOverThePosition) {
    AddUnit(new CFakeUnit(1, 1));
    AddUnit(new CFakeUnit(1, 1));
    CCodeListing first(computer, 1);
    first.SetTopAddress(0x300);
    first.SetLineCount(4);
    CCodeListing second(computer, 0);
    second.SetLineCount(4);
    second.TakePositionFrom(first);
    EXPECT_EQ(second.GetSlot(), 1);
    EXPECT_EQ(second.GetTopAddress(), 0x300u);
    EXPECT_EQ(second.GetBottomAddress(), 0x308u);
    second.Activate();
    EXPECT_EQ(computer.GetActiveSlot(), 1);
}

TEST(CodeListing, LinesThatFitAndHints) {
    const int cases[][3] = {{100, 10, 9}, {101, 10, 10}, {15, 10, 1}, {10, 10, 0},
                            {5, 10, 0},   {100, 0, 0},   {100, -3, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CCodeListing::LinesThatFit(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    for (uint32_t hint : {0u, 1u, 2u, 4u, 8u, 10u, 15u})
        EXPECT_TRUE(CCodeListing::WantsRepaint(hint)) << hint;
    for (uint32_t hint : {16u, 0x100u})
        EXPECT_FALSE(CCodeListing::WantsRepaint(hint)) << hint;
}

// ---- the real cores ----

TEST_F(CodeListingTest, Lists6502Code) {
    auto* cpu = AddUnit(new C6502);
    const uint8_t program[] = {0xA9, 0x05, 0x8D, 0x00, 0xD0, 0xEA};
    for (uint32_t i = 0; i < sizeof program; ++i)
        computer.Write(0x300 + i, program[i], 1, true);
    cpu->SetPC(0x302);
    cpu->Breakpoints().Add(0x302);
    CCodeListing listing(computer, 0);
    listing.SetShowMachineCode(true);
    listing.SetTopAddress(0x300);
    listing.SetLineCount(3);

    const auto& lines = listing.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "0300 A9 05           LDA      #05");
    EXPECT_EQ(lines[0].mark, EMark::kNone);
    EXPECT_EQ(lines[1].text, "0302 8D 00 D0        STA      $D000");
    EXPECT_EQ(lines[1].mark, EMark::kProgramCounter);
    EXPECT_EQ(lines[2].address, 0x305u);
    EXPECT_EQ(cpu->GetNextInstructionAddress(), 0x305u);

    // Up by one code unit lands inside an instruction and decodes from there.
    listing.OnKey(EListingKey::kUp);
    listing.OnKey(EListingKey::kDown);
    listing.OnKey(EListingKey::kDown);
    EXPECT_EQ(listing.GetTopAddress(), 0x302u);
}

TEST_F(CodeListingTest, PrefixedInstructionsAreOneLineWithTheirBytesCut) {
    auto* corvane = AddUnit(new CCorvaneMPU);
    corvane->Reset();
    computer.Write(0x30, 0xBC1234, 3, true);
    computer.Write(0x33, 0x000000, 3, true);
    corvane->SetPC(0x30);
    CCodeListing listing(computer, 0);
    listing.SetShowMachineCode(true);
    listing.SetTopAddress(0x30);
    listing.SetLineCount(2);
    ASSERT_EQ(listing.Lines().size(), 2u);
    EXPECT_EQ(listing.Lines()[0].length, 6u);
    EXPECT_EQ(listing.Lines()[0].lead, "000030 BC1234 000000");  // 14 characters cut to 13
    EXPECT_EQ(listing.Lines()[0].mnemonicColumn, 23);
    EXPECT_EQ(listing.Lines()[1].address, 0x36u);
    EXPECT_EQ(corvane->GetNextInstructionAddress(), 0x36u);

    auto* vo16 = AddUnit(new CVo16);
    computer.Write(0x400, 0xD123, 2 | CDevices::kSwap, true);  // a prefix word
    computer.Write(0x402, 0x0000, 2 | CDevices::kSwap, true);
    CCodeListing vo16Listing(computer, 1);
    vo16Listing.SetShowMachineCode(true);
    vo16->SetPC(0x400);
    vo16Listing.SetTopAddress(0x400);
    vo16Listing.SetLineCount(2);
    EXPECT_EQ(vo16Listing.Lines().at(0).lead, "0400 D123 0000    ");
    EXPECT_EQ(vo16Listing.Lines().at(1).address, 0x404u);
}

}  // namespace
