#pragma once
// The code window's model: one unit's memory listed as instructions from a
// top address, one instruction a line, through the unit's Disassemble. It
// marks the program counter's line and the breakpoint lines, records the
// address after the program counter's instruction for Bounce Over, follows
// the program counter on every refresh, scrolls, jumps to a typed address and
// passes the single-key run commands on. Fonts, colours and drawing are the
// shell's.
//
// Line layout (n = length of the address text):
//   machine code off:  address, blank          mnemonic at n + 2,  operand at n + 11
//   machine code on:   address, blank, bytes   mnemonic at n + 17, operand at n + 26
//                      (bytes left-aligned in 13 columns, cut after 13)
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Computer.h"

class CMpu;

enum class ERunCommand { kStop, kBounceOver, kStepOut, kRun, kStepInto };

enum class EListingKey { kUp, kDown, kPageUp, kPageDown, kPause, kB, kO, kR, kS, kOther };

enum class EListingScroll { kLineUp, kLineDown, kOther };

struct SListingLine {
    enum class EMark { kNone, kProgramCounter, kBreakpoint };

    uint32_t address = 0;
    uint32_t length = 0;
    EMark mark = EMark::kNone;
    std::string lead;      // drawn at column 0
    std::string mnemonic;  // upper case
    std::string operand;   // upper case, addresses that name a symbol as the name
    std::string label;     // the unit's symbol at the address, shown on a line of its own
    int mnemonicColumn = 0;
    int operandColumn = 0;
    // The three parts in their columns (a part that would overlap the next
    // is followed by one blank instead), without trailing blanks.
    std::string text;
};

class CCodeListing final : public CUnitView {
public:
    // Called with the unit's slot for the single-key run commands.
    using CommandSink = std::function<void(ERunCommand command, int slot)>;

    static constexpr const char* kNotInRangeText = "The address is not in any valid range.";
    static constexpr uint32_t kPageUpUnits = 20;
    static constexpr int kBytesColumns = 13;

    // Registers with the workspace's refresh; the workspace must outlive it.
    CCodeListing(CComputer& computer, int slot);
    CCodeListing(const CCodeListing&) = delete;
    CCodeListing& operator=(const CCodeListing&) = delete;
    ~CCodeListing() override;

    int GetSlot() const override { return m_slot; }
    // Restarts the listing at the program counter when it lies outside the
    // lines listed last; true when it moved. Relists either way, so the
    // program counter's mark and the next-instruction address are current.
    bool FollowProgramCounter() override;

    // A new window in a frame whose active view is other takes over its unit
    // and position.
    void TakePositionFrom(const CCodeListing& other);
    // The window became or stopped being its frame's active view: its unit
    // becomes the workspace's active unit.
    void Activate();

    void SetCommandSink(CommandSink sink) { m_sink = std::move(sink); }
    bool GetShowMachineCode() const { return m_showMachineCode; }
    void SetShowMachineCode(bool show);
    int GetLineCount() const { return m_lineCount; }
    void SetLineCount(int lines);
    // Lines whose top lies above clientHeight - lineHeight, as the window draws them.
    static int LinesThatFit(int clientHeight, int lineHeight);

    uint32_t GetTopAddress() const { return m_top; }
    // The address after the last line listed.
    uint32_t GetBottomAddress() const { return m_bottom; }
    void SetTopAddress(uint32_t address);

    // Lists the lines again from memory and the program counter; the shell
    // calls it before drawing.
    void Relist();
    const std::vector<SListingLine>& Lines() const { return m_lines; }

    // Keys and scroll-bar actions; true when the top address moved or a
    // command went to the sink.
    bool OnKey(EListingKey key);
    static EListingKey KeyFromCharacter(char c);
    bool OnScroll(EListingScroll action);

    // View Address: text read as a hex number times the address scale. An
    // address that no device claims is refused with kNotInRangeText.
    bool ViewAddress(std::string_view text);

    // Notifications that change what the window shows (0: redraw everything).
    static bool WantsRepaint(uint32_t hint) { return hint == 0 || (hint & 0xF) != 0; }

private:
    CMpu* Unit() const;
    uint32_t CodeUnit() const;
    uint32_t AddressScale() const;
    uint32_t AddressMask() const;
    void Move(uint32_t top);
    bool Command(ERunCommand command);

    CComputer& m_computer;
    int m_slot;
    uint32_t m_top = 0;
    uint32_t m_bottom = 0;
    int m_lineCount = 0;
    bool m_showMachineCode = false;
    CommandSink m_sink;
    std::vector<SListingLine> m_lines;
};
