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
#include "core/StringEx.h"
#include "core/ViewHint.h"
#include "cpu/CorvaneMPU.h"
#include "cpu/M6502.h"
#include "cpu/Vo16.h"
#include "support/TestHost.h"

namespace {

using EMark = SListingLine::EMark;

// Instructions of a fixed length with lower-case texts.
class CFakeUnit : public CMpu {
public:
    CFakeUnit(uint32_t codeUnit, uint32_t scale, uint32_t length = 2) : m_length(length) {
        m_codeUnit = codeUnit;
        m_addressScale = scale;
    }
    uint32_t GetPC() const override { return pc; }
    SDisassembly Disassemble(uint32_t address) const override {
        return {m_length,
                FormatText("%04X", address),
                FormatText("%02x %02x", address & 0xFF, (address + 1) & 0xFF),
                "ld",
                FormatText("#%x", address & 0xFF),
                "never shown"};
    }
    uint32_t pc = 0;

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
    static std::vector<uint32_t> Addresses(const CCodeListing& listing) {
        std::vector<uint32_t> addresses;
        for (const SListingLine& line : listing.Lines())
            addresses.push_back(line.address);
        return addresses;
    }

    CTestHost host;
    CComputer computer{&host};
};

// Both layouts in upper case; the program counter's mark wins over a
// breakpoint's, and records the next instruction's address; PC and
// breakpoints are in code units of the address scale.
TEST_F(CodeListingTest, LayoutAndMarks) {
    CFakeUnit* unit = AddUnit(new CFakeUnit(2, 2));
    unit->pc = 0x12AE / 2;
    unit->Breakpoints().Add(0x12AC / 2);
    unit->Breakpoints().Add(0x12AE / 2);
    CCodeListing listing(computer, 0);
    listing.SetTopAddress(0x12AC);
    listing.SetLineCount(3);
    std::vector<std::pair<std::string, EMark>> lines;
    for (const SListingLine& line : listing.Lines())
        lines.emplace_back(line.text, line.mark);
    EXPECT_EQ(lines, (std::vector<std::pair<std::string, EMark>>{
                         {"12AC  LD       #AC", EMark::kBreakpoint},
                         {"12AE  LD       #AE", EMark::kProgramCounter},
                         {"12B0  LD       #B0", EMark::kNone}}));
    EXPECT_EQ(std::pair(listing.Lines()[0].mnemonicColumn, listing.Lines()[0].operandColumn),
              std::pair(6, 15));
    EXPECT_EQ(unit->GetNextInstructionAddress(), 0x12B0u);
    EXPECT_EQ(listing.GetBottomAddress(), 0x12B2u);

    listing.SetShowMachineCode(true);
    const SListingLine& line = listing.Lines().at(0);
    EXPECT_EQ(line.lead, "12AC AC AD        ");
    EXPECT_EQ(std::pair(line.mnemonicColumn, line.operandColumn), std::pair(21, 30));
    EXPECT_EQ(line.text, "12AC AC AD           LD       #AC");
}

// Code unit 3, instructions of 2 bytes, 5 lines.
TEST_F(CodeListingTest, KeysAndScrollingMoveTheTop) {
    // clang-format off
    struct { uint32_t from; EListingKey key; EListingScroll scroll; uint32_t top; } const cases[] = {
        {0x1000, EListingKey::kUp, EListingScroll::kOther, 0x0FFD},
        {0x0000, EListingKey::kUp, EListingScroll::kOther, 0xFFFFFFFD},
        {0x1000, EListingKey::kDown, EListingScroll::kOther, 0x1002},      // by the instruction
        {0x1000, EListingKey::kPageUp, EListingScroll::kOther, 0x0FC4},    // by 20 code units
        {0x1000, EListingKey::kPageDown, EListingScroll::kOther, 0x100A},  // to the bottom
        {0x1000, EListingKey::kOther, EListingScroll::kLineUp, 0x0FFD},
        {0x1000, EListingKey::kOther, EListingScroll::kLineDown, 0x1003},  // by the code unit
        {0x1000, EListingKey::kOther, EListingScroll::kOther, 0x1000},
    };
    // clang-format on
    AddUnit(new CFakeUnit(3, 1));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(5);
    for (const auto& c : cases) {
        listing.SetTopAddress(c.from);
        const bool moved =
            c.key != EListingKey::kOther ? listing.OnKey(c.key) : listing.OnScroll(c.scroll);
        EXPECT_EQ(moved, c.top != c.from);
        EXPECT_EQ(Addresses(listing).front(), c.top) << static_cast<int>(c.key);
    }
}

// Four lines from 0x200 show 0x200 to 0x207; a refresh restarts the listing at
// the program counter when it left them, whichever unit was refreshed.
TEST_F(CodeListingTest, FollowsTheProgramCounterOnEveryRefresh) {
    CFakeUnit* unit = AddUnit(new CFakeUnit(1, 1));
    CFakeUnit* other = AddUnit(new CFakeUnit(1, 1));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(4);
    for (uint32_t pc : {0x200u, 0x206u, 0x208u, 0x1FEu, 0x8000u}) {
        for (int refreshed : {0, 1}) {
            listing.SetTopAddress(0x200);
            unit->pc = pc;
            host.hints.clear();
            computer.RefreshUnit(refreshed);
            const bool moves = pc < 0x200 || pc >= 0x208;
            EXPECT_EQ(listing.GetTopAddress(), moves ? pc : 0x200u) << pc;
            EXPECT_EQ(host.hints.back(),
                      uint32_t{kHintProcessorState} | (moves ? kHintCodeMoved : 0u));
            EXPECT_EQ(unit->GetNextInstructionAddress(), pc + 2);
        }
    }
    {
        CCodeListing second(computer, 1);
        second.SetLineCount(3);
        other->pc = 0x20;
        unit->pc = 0x300;
        computer.RefreshUnit(1);
        EXPECT_EQ(second.GetTopAddress(), 0x20u);
        EXPECT_EQ(listing.GetTopAddress(), 0x300u);
    }
    computer.RefreshAll();  // the second listing is gone and not called
}

TEST_F(CodeListingTest, SingleKeysGoToTheCommandSink) {
    AddUnit(new CFakeUnit(1, 1));
    AddUnit(new CFakeUnit(1, 1));
    CCodeListing listing(computer, 1);
    EXPECT_FALSE(listing.OnKey(EListingKey::kR));  // no sink yet
    std::vector<ERunCommand> sent;
    listing.SetCommandSink([&](ERunCommand command, int slot) {
        sent.push_back(command);
        EXPECT_EQ(slot, 1);
    });
    for (char c : std::string("BoRsx"))
        listing.OnKey(CCodeListing::KeyFromCharacter(c));
    listing.OnKey(EListingKey::kPause);
    using enum ERunCommand;
    EXPECT_EQ(sent, (std::vector<ERunCommand>{kBounceOver, kStepOut, kRun, kStepInto, kStop}));
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
}

// A unit that reports no length still moves on; an empty slot or workspace
// lists nothing harmful; a new window takes over another's unit and position.
TEST_F(CodeListingTest, OddUnitsSlotsAndWindows) {
    AddUnit(new CFakeUnit(3, 1, 0));
    CCodeListing listing(computer, 0);
    listing.SetLineCount(3);
    EXPECT_EQ(Addresses(listing), (std::vector<uint32_t>{0, 3, 6}));
    listing.OnKey(EListingKey::kDown);
    EXPECT_EQ(listing.GetTopAddress(), 3u);

    CCodeListing empty(computer, 5);
    empty.SetLineCount(2);
    EXPECT_EQ(Addresses(empty), (std::vector<uint32_t>{0, 1}));
    empty.TakePositionFrom(listing);
    EXPECT_EQ(empty.GetSlot(), 0);
    EXPECT_EQ(Addresses(empty), (std::vector<uint32_t>{3, 6}));
    computer.DeleteContents();
    empty.Relist();
    EXPECT_TRUE(empty.Lines().empty());
    EXPECT_FALSE(empty.FollowProgramCounter() || empty.ViewAddress("0"));
    EXPECT_EQ(CCodeListing::LinesThatFit(101, 10), 10);
    EXPECT_EQ(CCodeListing::LinesThatFit(100, 0), 0);
}

// The real cores: the 6502's lines and next address; a Corvane prefixed
// instruction on one line with the bytes cut to 13 characters.
TEST_F(CodeListingTest, ListsTheRealCores) {
    auto* cpu = AddUnit(new C6502);
    const uint8_t program[] = {0xA9, 0x05, 0x8D, 0x00, 0xD0, 0xEA};
    for (uint32_t i = 0; i < sizeof program; ++i)
        computer.Write(0x300 + i, program[i], 1, true);
    cpu->SetPC(0x302);
    CCodeListing listing(computer, 0);
    listing.SetShowMachineCode(true);
    listing.SetTopAddress(0x300);
    listing.SetLineCount(3);
    EXPECT_EQ(listing.Lines().at(0).text, "0300 A9 05           LDA      #05");
    EXPECT_EQ(listing.Lines().at(1).text, "0302 8D 00 D0        STA      $D000");
    EXPECT_EQ(listing.Lines().at(2).address, 0x305u);
    EXPECT_EQ(cpu->GetNextInstructionAddress(), 0x305u);

    AddUnit(new CCorvaneMPU);
    computer.Write(0x30, 0xBC1234, 3, true);
    CCodeListing corvane(computer, 1);
    corvane.SetShowMachineCode(true);
    corvane.SetTopAddress(0x30);
    corvane.SetLineCount(2);
    EXPECT_EQ(corvane.Lines().at(0).lead, "000030 BC1234 000000");  // 14 characters cut to 13
    EXPECT_EQ(corvane.Lines().at(0).mnemonicColumn, 23);
    EXPECT_EQ(corvane.Lines().at(1).address, 0x36u);
}

// Listings wrap at the unit's address width as its fetches do: lines, marks,
// the next-instruction address, the top address and following the program
// counter across the top of memory.
TEST_F(CodeListingTest, AddressesWrapAtTheUnitsWidth) {
    computer.GetDevices()->GetAt(0)->SetRange(0, 0xFFFFFF);
    auto* cpu = AddUnit(new C6502);
    auto* vo16 = AddUnit(new CVo16);
    auto* corvane = AddUnit(new CCorvaneMPU);
    cpu->SetPC(0x0000);
    cpu->Breakpoints().Add(0x0001);
    vo16->SetPC(0x0000);
    corvane->SetPC(0x000000);
    corvane->Breakpoints().Add(0xFFFFFD);
    struct {
        int slot;
        uint32_t top;  // as set; shown wrapped
        std::vector<uint32_t> addresses;
        std::vector<EMark> marks;
        std::string lastText;
        uint32_t next;  // after the program counter's instruction
    } const cases[] = {
        {0,
         0x1FFFE,
         {0xFFFE, 0xFFFF, 0x0000, 0x0001},
         {EMark::kNone, EMark::kNone, EMark::kProgramCounter, EMark::kBreakpoint},
         "0001 00",
         1},
        {1,
         0xFFFC,
         {0xFFFC, 0xFFFE, 0x0000, 0x0002},
         {EMark::kNone, EMark::kNone, EMark::kProgramCounter, EMark::kNone},
         "0002 0000",
         2},
        {2,
         0xFFFFFA,
         {0xFFFFFA, 0xFFFFFD, 0x000000, 0x000003},
         {EMark::kNone, EMark::kBreakpoint, EMark::kProgramCounter, EMark::kNone},
         "000003 000000",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        CCodeListing listing(computer, c.slot);
        listing.SetShowMachineCode(true);
        listing.SetLineCount(4);
        listing.SetTopAddress(c.top);
        EXPECT_EQ(Addresses(listing), c.addresses);
        std::vector<EMark> marks;
        for (const SListingLine& line : listing.Lines())
            marks.push_back(line.mark);
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(listing.Lines().back().text.substr(0, c.lastText.size()), c.lastText);
        EXPECT_EQ(computer.GetMpus()->GetAt(c.slot)->GetNextInstructionAddress(), c.next);
        // The program counter is on screen across the wrap: no move.
        EXPECT_FALSE(listing.FollowProgramCounter());
        listing.SetTopAddress(0);
        listing.OnKey(EListingKey::kUp);
        EXPECT_EQ(listing.GetTopAddress(), c.addresses[1]);
    }
}

}  // namespace
