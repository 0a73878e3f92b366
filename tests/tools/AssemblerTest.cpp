// The assembler's engine: every kind of error with its line and column, all
// errors of a file reported and nothing assembled; expressions, directives,
// forward references; symbol files in both formats.
#include <gtest/gtest.h>

#include <string>

#include "core/Symbols.h"
#include "tools/Assembler.h"
#include "tools/Expression.h"

namespace {

SAssembly Assemble(const std::string& text, EProcessor processor = EProcessor::k6502) {
    SAssemblyOptions options;
    options.processor = processor;
    options.reader = [](const std::string& path, std::string& out, std::string& error) {
        if (path == "inc.s") {
            out = "value = 42\n";
            return true;
        }
        if (path == "loop.s") {
            out = "include \"loop.s\"\n";
            return true;
        }
        error = "cannot open " + path;
        return false;
    };
    return CAssembler::AssembleText(text, "t.s", options);
}

struct SErrorCase {
    const char* source;
    int line;
    int column;
    const char* message;
    EProcessor processor = EProcessor::k6502;
};

TEST(AssemblerTest, EachErrorNamesItsLineColumnAndCause) {
    const SErrorCase cases[] = {
        {"  nop\n  ldq #1", 2, 3, "unknown instruction 'ldq'"},
        {"  lda #100", 1, 8, "does not fit in a byte"},
        {"  lda nowhere", 1, 7, "unknown name 'nowhere'"},
        {"lp: nop\nlp: nop", 2, 1, "'lp' is already defined (line 1)"},
        {"beef: nop", 1, 1, "reads as a hexadecimal number"},
        {"  lda (1+2", 1, 11, "')' expected"},
        {"  lda #1/0", 1, 9, "division by zero"},
        {"  bne far\n  fill 200\nfar: nop", 1, 7, "bytes away; a branch reaches -128 to +127"},
        {"  lda ($1234),y", 1, 8, "outside the zero page"},
        {"  sta #1", 1, 7, "no immediate operand"},
        {"  inx 5", 1, 7, "takes no operand"},
        {"  jsr", 1, 3, "needs an operand"},
        {"  org 10000", 1, 7, "outside the 6502's memory"},
        {"  org FFFF\n  word 1", 2, 1, "run past the end"},
        {"  byte \"abc", 1, 8, "not closed"},
        {"  byte 1,,2", 1, 10, "a value is missing"},
        {"  include \"none.s\"", 1, 11, "cannot open none.s"},
        {"  include \"loop.s\"", 1, 9, "includes itself"},
        {"  cpu z80", 1, 7, "6502, vo16 or corvane"},
        {"  nop\n  cpu vo16", 2, 3, "before the first instruction"},
        {"n = n+1", 1, 1, "do not settle"},
        {"  org 10\n  byte 1\n  org 10\n  byte 2", 4, 1, "overlap"},
        {"  lda 12x", 1, 7, "not a number"},
        {"  lda #1 +", 1, 11, "a value is missing"},
        {"  fill -1", 1, 8, "larger than memory"},
        {"r1: nop", 1, 1, "register name"},
        {"  ?", 1, 3, "an instruction, a directive or a label is expected"},
        {"  addi r1,r16,1", 1, 11, "a register r0 to r15", EProcessor::kVo16},
        {"  beq 0001", 1, 7, "odd number of bytes", EProcessor::kVo16},
        {"  call 1234", 1, 8, "multiples of $10", EProcessor::kVo16},
        {"  addi r1,r2", 1, 8, "takes d,a,value", EProcessor::kVo16},
    };
    for (const SErrorCase& c : cases) {
        const SAssembly assembly = Assemble(c.source, c.processor);
        ASSERT_FALSE(assembly.Ok()) << c.source;
        const SAssemblyError& error = assembly.errors.front();
        EXPECT_EQ(error.line, c.line) << c.source;
        EXPECT_EQ(error.column, c.column) << c.source << ": " << error.message;
        EXPECT_NE(error.message.find(c.message), std::string::npos)
            << c.source << ": " << error.message;
        EXPECT_TRUE(assembly.segments.empty() && assembly.listing.empty()) << c.source;
    }
}

// Every error of a file is reported, not only the first.
TEST(AssemblerTest, EveryErrorOfAFile) {
    const SAssembly corvane = Assemble("  rol r1,r2,#1\n  lw r1,(r40)", EProcessor::kCorvane);
    ASSERT_EQ(corvane.errors.size(), 2u);
    EXPECT_EQ(corvane.errors[0].Text(), "t.s:1:13: ROL takes the constant #000081");
    EXPECT_EQ(corvane.errors[1].line, 2);
}

TEST(AssemblerTest, ForwardReferencesDirectivesAndListing) {
    const SAssembly assembly = Assemble(
        "  include \"inc.s\"\n"
        "  org $0300\n"
        "start: lda target    ; zero page once known\n"
        "  lda $0010\n"
        "  jmp (vector)\n"
        "  byte <start, >start, 'A', \"h\\x41\\n\", 10.\n"
        "  word start, -1\n"
        "  long $12345678\n"
        "  res 2\n"
        "  fill 3, value\n"
        "vector = * + 2\n"
        "target = %1000 | $4 << 1\n");
    ASSERT_TRUE(assembly.Ok()) << assembly.errors.front().Text();
    ASSERT_EQ(assembly.segments.size(), 2u);
    const std::vector<uint8_t> first = {0xA5, 0x08, 0xAD, 0x10, 0x00, 0x6C, 0x1E, 0x03,
                                        0x00, 0x03, 0x41, 0x68, 0x41, 0x0A, 0x0A, 0x00,
                                        0x03, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(assembly.segments[0].bytes, first);
    EXPECT_EQ(assembly.segments[1].address, 0x0319u);
    EXPECT_EQ(assembly.segments[1].bytes, (std::vector<uint8_t>{0x42, 0x42, 0x42}));
    EXPECT_EQ(assembly.symbols.Find("START"), 0x0300u);
    EXPECT_NE(assembly.listing.find("0300 A5 08           start: lda target"), std::string::npos)
        << assembly.listing;
    EXPECT_NE(SymbolFileText(assembly).find("start = $0300\n"), std::string::npos);
}

// Expressions for other callers: a register pc, a register A and a flag C
// (which read as numbers unless names come first); memory holds address + 1
// below 10000.
TEST(AssemblerTest, ExpressionsForOtherCallers) {
    const NameResolver names = [](std::string_view name, int64_t& value) {
        if (name != "pc" && name != "a" && name != "C") return ENameLookup::kUndefined;
        value = name == "pc" ? 0x1234 : name == "a" ? 0x10 : 1;
        return ENameLookup::kFound;
    };
    SExpressionOptions options;
    options.namesBeforeNumbers = true;
    options.memory = [](uint64_t address, int64_t& value) {
        value = static_cast<int64_t>(address + 1);
        return address < 0x10000;
    };
    // clang-format off
    const struct { const char* text; bool withOptions; int64_t value; /* -1: an error */ } cases[] = {
        {"pc == 1234 && 1", false, 1},      {"pc >= $2000 || !0", false, 1},
        {"-1 >> 3C", false, 0xF},           {"2 + 3 * 4", false, 0xE},
        {"(pc - 4) & ~$FF", false, 0x1200}, {"%101 ^ 0x3", false, 6},
        {"a == 10 && C", true, 1},          {"ab + c", true, 0xAB + 0xC},
        {"[0200] + [[10]]", true, 0x213},   {"[10000]", true, -1},
        {"[0200", true, -1},                {"a", false, 0xA},
        {"[0200]", false, -1},
    };
    // clang-format on
    for (const auto& c : cases) {
        SExpressionValue value;
        SExpressionError error;
        const bool ok = c.withOptions ? CExpression::Evaluate(c.text, names, options, value, error)
                                      : CExpression::Evaluate(c.text, names, value, error);
        EXPECT_EQ(ok, c.value >= 0) << c.text << ": " << error.message;
        if (ok) EXPECT_EQ(value.value, c.value) << c.text;
    }
    SExpressionValue value;
    SExpressionError error;
    EXPECT_FALSE(CExpression::Evaluate(std::string(100, '(') + "1", names, value, error));
    EXPECT_EQ(error.message, "the expression nests too deeply");
}

TEST(AssemblerTest, SymbolFilesInBothFormatsLoadAndResolve) {
    CSymbols symbols;
    std::string error;
    // The label file the common 6502 linker writes with -Ln, and our own.
    ASSERT_TRUE(
        symbols.LoadText("al 00C000 .reset\nal 00C010 .loop\n"
                         "; comment\nirq = $C020\nal 00C000 .start\n",
                         &error))
        << error;
    EXPECT_EQ(symbols.Find("LOOP"), 0xC010u);
    EXPECT_EQ(*symbols.NameAt(0xC000), "reset");
    EXPECT_EQ(symbols.Resolve("irq"), 0xC020u);
    EXPECT_EQ(symbols.Resolve("$c030"), 0xC030u);
    EXPECT_FALSE(symbols.Resolve("nowhere"));
    EXPECT_FALSE(symbols.LoadText("al 00C000 .ok\nal zz .bad\n", &error));
    EXPECT_EQ(error.substr(0, 6), "line 2");
    EXPECT_FALSE(symbols.Find("ok"));  // a bad file adds nothing
    CSymbols copy;
    ASSERT_TRUE(copy.LoadText(symbols.FileText(4), &error));
    EXPECT_EQ(copy.Find("start"), 0xC000u);
}

}  // namespace
