// simq end to end: the built runner on the example programs and on small
// purpose-made programs, checking what it prints, writes and exits with.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cctype>
#include <fstream>
#include <regex>

#include "cli/SimqProcess.h"

namespace {

using Args = std::vector<std::string>;

// A blank workspace with one 6502 and 64 KiB of RAM.
const Args k6502Machine = {"--system",  "blank",        "--add-unit",
                           "C6502:cpu", "--add-device", "CRam:RAM:0:FFFF"};

Args Concat(Args first, const Args& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The 6502 machine with a program entered through the monitor at 0400 and
// the program counter there.
Args With6502Program(const std::string& bytes, const Args& more = {}) {
    return Concat(Concat(k6502Machine, {"--exec", ":0400 " + bytes, "--set", "pc=0400"}), more);
}

QJsonObject ParseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    EXPECT_TRUE(document.isObject());
    return document.object();
}

// The last line of the output, which --json writes.
std::string LastLine(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    return lines.empty() ? std::string() : lines.back();
}

TEST(SimqHelp, ListsEveryActionAndTheVersion) {
    const SSimqResult help = RunSimq({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* action :
         {"--system",        "--add-unit", "--add-device", "--load",
          "--unit",          "--set",      "--reset",      "--break",
          "--step",          "--run",      "--run-all",    "--limit-instructions",
          "--limit-seconds", "--exec",     "--regs",       "--stats",
          "--list",          "--dump",     "--save",       "--frame",
          "--trace",         "--json",     "--help",       "--version"}) {
        EXPECT_TRUE(std::regex_search(help.out, std::regex("\\n  " + std::string(action) + "\\b")))
            << action;
    }
    const SSimqResult version = RunSimq({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("simq [0-9]+\\.[0-9]+\\.[0-9]+\\n")));
}

// Every malformed command line is refused before anything runs: exit 2, one
// line on stderr, nothing on stdout.
struct SBadArguments {
    Args args;
    const char* message;  // a part of the message
};

class SimqBadArguments : public testing::TestWithParam<SBadArguments> {};

TEST_P(SimqBadArguments, ExitTwoWithOneLine) {
    const SSimqResult result = RunSimq(Concat(GetParam().args, {"--regs"}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(Lines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("simq: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimqBadArguments,
    testing::Values(
        SBadArguments{{"--frobnicate"}, "unknown action --frobnicate"},
        SBadArguments{{"--step"}, "--step needs 1 parameter"},
        SBadArguments{{"--step", "1A"}, "decimal"},
        SBadArguments{{"--break", "12G4"}, "hexadecimal"},
        SBadArguments{{"--break", "123456789"}, "hexadecimal"},
        SBadArguments{{"--system", "pdp11"}, "corvane, vo16 or blank"},
        SBadArguments{{"--unit", "8"}, "0 to 7"}, SBadArguments{{"--set", "pc"}, "REG=VALUE"},
        SBadArguments{{"--limit-instructions", "2147483648"}, "2147483647"},
        SBadArguments{{"--list", "0"}, "--list needs 2 parameters"},
        SBadArguments{{"--dump", "x.s19", "FFFFFFFF", "2"}, "past address FFFFFFFF"},
        SBadArguments{{"--add-unit", "C6502"}, "CLASS:NAME"},
        SBadArguments{{"--add-unit", "CZ80:cpu"}, "unknown unit class CZ80"},
        SBadArguments{{"--add-device", "CRam:RAM:100:FF"}, "FROM must not lie above TO"},
        SBadArguments{{"--add-device", "CRam:RAM:0:FF:fast"}, "unknown device option"},
        SBadArguments{{"--add-device", "CRam:RAM:0:FF:irq=15"}, "IRQ code"},
        SBadArguments{{"--add-device", "CKeyboard:K:0:FF:ro"}, "memory devices (CRam) only"},
        SBadArguments{{"--add-device", "CRam:RAM:0:FFFFFFFF"}, "at most"},
        SBadArguments{{"a.ws", "b.ws"}, "only the first argument"},
        SBadArguments{{"/nonexistent/work.sqw"}, "cannot open the workspace"},
        SBadArguments{{"--load", "/nonexistent/prog.s19"}, "--load"},
        SBadArguments{{"--load", "program.elf"}, "must end in .s19, .hex or .bin"},
        SBadArguments{{"--system", "blank"}, "no active processing unit"},
        SBadArguments{{"--unit", "3"}, "no unit in slot 3"},
        SBadArguments{{"--set", "r16=1"}, "no register r16"},
        SBadArguments{{"--set", "r1=10000"}, "does not fit register R1"},
        SBadArguments{{"--exec", "hello"}, "not a monitor command"},
        SBadArguments{{"--exec", ":0 " + std::string(200, '1')}, "199 characters"},
        SBadArguments{{"--frame", "Screen", "x.png"}, "no video device named 'Screen'"},
        SBadArguments{{"--trace", "/nonexistent/trace.txt"}, "cannot write the trace"}));

TEST(Simq, RunsToABreakpointAndPrintsRegistersCountersAndMemory) {
    const SSimqResult result = RunSimq(
        Concat(k6502Machine, {"--load", SourcePath("examples/6502/sieve.hex"), "--reset", "--break",
                              "0440", "--run", "--regs", "--stats", "--exec", "D 10 2"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    // 54 primes below 256.
    EXPECT_EQ(lines[0], "A=36 X=00 Y=36 SP=FF PC=0440 STATUS=31");
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex("fetches=[1-9][0-9]* cycles=[0-9]+ loads=[0-9]+ stores=[0-9]+")))
        << lines[1];
    EXPECT_EQ(lines[2].substr(0, 14), ":000010 FB 36 ");
}

TEST(Simq, AnInstructionLimitEndsARunAwayProgramWithExitOne) {
    // 0400: JMP 0400
    const SSimqResult result =
        RunSimq(With6502Program("4C 00 04", {"--limit-instructions", "1000", "--run", "--json"}));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const QJsonObject json = ParseJson(LastLine(result.out));
    EXPECT_EQ(json["stop_reason"].toString(), "instruction-limit");
    EXPECT_EQ(json["instructions"].toInt(), 1001);
    EXPECT_EQ(json["exit_code"].toInt(), 1);
}

TEST(Simq, ALaterRunThatReachesItsBreakpointSucceeds) {
    // 0400: INX; JMP 0400. The limit ends the first run, the breakpoint the second.
    const SSimqResult result =
        RunSimq(With6502Program("E8 4C 00 04", {"--limit-instructions", "10", "--run", "--regs",
                                                "--break", "0401", "--run", "--regs"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The limit stops the first run after its eleventh instruction.
    EXPECT_EQ(result.out,
              "A=00 X=06 Y=00 SP=FF PC=0401 STATUS=30\n"
              "A=00 X=07 Y=00 SP=FF PC=0401 STATUS=30\n");
}

TEST(Simq, RunsThatNothingWouldEndAreRefused) {
    for (const char* run : {"--run", "--run-all"}) {
        const SSimqResult result = RunSimq(With6502Program("4C 00 04", {run}));
        EXPECT_EQ(result.exitCode, 2) << run;
        EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("--limit-instructions"), std::string::npos) << result.err;
    }
}

TEST(Simq, RunAllIsRefusedWhileOneUnitHasNothingToStopIt) {
    const SSimqResult result = RunSimq(With6502Program(
        "4C 00 04", {"--break", "0400", "--add-unit", "C6502:second", "--run-all"}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
}

TEST(Simq, RunAllWaitsUntilEveryUnitHasStopped) {
    // Unit 0 at 0400: INX; JMP 0400, stopping after one instruction. Unit 1
    // at 0500: LDX #0A; DEX; BNE 0502; JMP 0505, stopping once the loop ends.
    const SSimqResult result = RunSimq(
        With6502Program("E8 4C 00 04", {"--break", "0401", "--add-unit", "C6502:second", "--unit",
                                        "1", "--exec", ":0500 A2 0A CA D0 FD 4C 05 05", "--set",
                                        "pc=0500", "--break", "0505", "--run-all", "--json"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const QJsonObject json = ParseJson(result.out);
    EXPECT_EQ(json["stop_reason"].toString(), "breakpoint");
    EXPECT_EQ(json["instructions"].toInt(), 22);
    const QJsonArray units = json["units"].toArray();
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0].toObject()["registers"].toObject()["PC"].toString(), "0401");
    EXPECT_EQ(units[1].toObject()["registers"].toObject()["PC"].toString(), "0505");
    EXPECT_EQ(units[1].toObject()["state"].toString(), "idle");
}

// The VIC's display renders while the unit runs and its end-of-frame
// interrupt reaches the program: a Corvane counts the interrupts at 000010.
TEST(Simq, VideoDisplaysRaiseTheirInterruptsWhileUnitsRun) {
    const SSimqResult result =
        RunSimq({"--system", "blank", "--add-device", "CRam:RAM:0:FFFF", "--add-device",
                 "CRam:TOP:FFFF00:FFFFFF", "--add-device", "CVic:VIC:300000:300FFF:stride=3:irq=7",
                 "--add-unit", "CCorvaneMPU:cpu:80",
                 // VIC frame interrupt on, interrupts on, then wait in a loop.
                 "--exec", ":100 00 30 BC 00 20 64 01 40 64 09 41 FC 03 00 BC 00 64 27 FA 00 08",
                 // The handler: count, read the VIC status (withdrawing the request), return.
                 "--exec", ":200 10 80 DE 01 94 66 10 80 FE 0C A1 DE 00 1F 0D",
                 // The IRQ entry jumps to the handler.
                 "--exec", ":FFFFE8 02 00 BC 00 00 0D", "--set", "pc=100", "--limit-seconds", "1",
                 "--run", "--exec", "D 10 3"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    ASSERT_EQ(result.out.substr(0, 8), ":000010 ") << result.out;
    EXPECT_NE(result.out.substr(8, 2), "00") << result.out;
}

TEST(Simq, StepsResetsAndSetsRegisters) {
    // 0400: LDA #05; TAX; INX
    const SSimqResult result = RunSimq(With6502Program(
        "A9 05 AA E8", {"--exec", ":FFFC 00 04", "--set", "Y=7F", "--set", "status=F1", "--step",
                        "3", "--regs", "--reset", "--regs"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "A=05 X=06 Y=7F SP=FF PC=0404 STATUS=71\n"
              "A=05 X=06 Y=7F SP=FF PC=0400 STATUS=30\n");
}

// --set takes the names the register pane shows, in any case, and --regs
// prints them in pane order, zero-padded to the register's width.
struct SRegisterCase {
    const char* system;
    Args sets;
    const char* expected;  // a part of the --regs line
};

class SimqRegisters : public testing::TestWithParam<SRegisterCase> {};

TEST_P(SimqRegisters, SetAndPrint) {
    Args args{"--system", GetParam().system};
    for (const std::string& set : GetParam().sets)
        args = Concat(args, {"--set", set});
    const SSimqResult result = RunSimq(Concat(args, {"--regs"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find(GetParam().expected), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimqRegisters,
    testing::Values(
        SRegisterCase{"vo16", {"r1=abc", "R15=FFFF", "pc=1234"}, "R0=0000 R1=0ABC R2=0000"},
        SRegisterCase{"vo16", {"r15=ffff", "pc=1234"}, "R14=0000 R15=FFFF PC=1234\n"},
        SRegisterCase{"corvane",
                      {"r28=123456", "r29=A", "LR=B", "r31=c"},
                      "R28=123456 SP=00000A LR=00000B IPC=00000C PC=FFFFF8 SR=000200 CR=000002\n"},
        SRegisterCase{"corvane",
                      {"sr=300", "cr=1", "pc=FF0000", "r1=FFFFFF"},
                      "R0=000000 R1=FFFFFF R2=000000"},
        SRegisterCase{
            "corvane", {"sr=300", "cr=1", "pc=FF0000"}, "PC=FF0000 SR=000300 CR=000001\n"}));

TEST(Simq, TheDefaultWorkspaceIsTheVo16System) {
    const SSimqResult result = RunSimq({"--json"});
    EXPECT_EQ(result.exitCode, 0);
    const QJsonArray units = ParseJson(result.out)["units"].toArray();
    ASSERT_EQ(units.size(), 1);
    EXPECT_EQ(units[0].toObject()["class"].toString(), "CVo16");
    EXPECT_EQ(units[0].toObject()["name"].toString(), "Vo16 Processor #0");
}

TEST(Simq, AddsUnitsChoosesTheActiveOneAndReportsThemAllInJson) {
    const SSimqResult result = RunSimq(
        {"--system", "blank", "--add-device", "CRam:RAM:0:FFFF", "--add-unit", "C6502:first",
         "--add-unit", "CVo16:second \"quoted\"\t\xE9", "--add-unit", "CCorvaneMPU:third:3",
         "--regs", "--unit", "1", "--regs", "--unit", "2", "--stats", "--json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    // The first unit added became active; it reset from the zeroed RAM.
    EXPECT_EQ(lines[0], "A=00 X=00 Y=00 SP=FF PC=0000 STATUS=30");
    EXPECT_EQ(lines[1].substr(0, 8), "R0=0000 ");
    EXPECT_EQ(lines[2], "fetches=0 cycles=0 loads=0 stores=0 cache_attempts=0 cache_misses=0");

    const QJsonObject json = ParseJson(lines[3]);
    const QJsonArray units = json["units"].toArray();
    ASSERT_EQ(units.size(), 3);
    const char* classes[] = {"C6502", "CVo16", "CCorvaneMPU"};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject unit = units[i].toObject();
        EXPECT_EQ(unit["slot"].toInt(), i);
        EXPECT_EQ(unit["class"].toString(), classes[i]);
        EXPECT_EQ(unit["active"].toBool(), i == 2);
        EXPECT_EQ(unit["state"].toString(), "idle");
    }
    // Names are one byte a character: E9 is the Latin-1 e acute.
    EXPECT_EQ(units[1].toObject()["name"].toString(), QString("second \"quoted\"\t\u00E9"));
    EXPECT_EQ(units[2].toObject()["registers"].toObject()["PC"].toString(), "FFFFF8");
    EXPECT_EQ(units[2].toObject()["counters"].toObject()["cache_misses"].toInt(), 0);
    EXPECT_TRUE(json["stop_reason"].isNull());
    EXPECT_TRUE(json["error"].isNull());
}

TEST(Simq, JsonIsWrittenAfterAnErrorToo) {
    const SSimqResult result = RunSimq({"--json", "--load", "/nonexistent/x.hex"});
    EXPECT_EQ(result.exitCode, 2);
    const QJsonObject json = ParseJson(result.out);
    EXPECT_EQ(json["exit_code"].toInt(), 2);
    EXPECT_NE(json["error"].toString().indexOf("x.hex"), -1);
}

TEST(Simq, DeviceOptionsShapeTheBus) {
    // ROM at 1000 (a processor write leaves it, the monitor's forced write
    // does not); memory with stride 2 at 2000 (2002 and 2003 are one byte).
    const SSimqResult result =
        RunSimq({"--system", "blank", "--add-unit", "C6502:cpu", "--add-device", "CRam:RAM:0:FFF",
                 "--add-device", "CRam:ROM:1000:10FF:ro", "--add-device",
                 "CRam:Strided:2000:21FF:stride=2:size=100", "--add-device",
                 "CTimeSlicer:Slicer:3000:3000:irq=2",
                 // LDA #77; STA 1000; STA 2002
                 "--exec", ":0400 A9 77 8D 00 10 8D 02 20", "--set", "pc=0400", "--exec",
                 ":1001 55", "--step", "3", "--exec", "D 1000 2", "--exec", "D 2003 1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    EXPECT_EQ(lines[0].substr(0, 14), ":001000 00 55 ");
    EXPECT_EQ(lines[1].substr(0, 11), ":002003 77 ");
}

TEST(Simq, LoadsBinaryAndHexDumpImagesAtTheirAddressAndReportsRejectedLines) {
    const CScratchFolder folder;
    const std::string bin = folder.Write("data.bin", std::string("\x01\x02\x03", 3));
    const std::string hex =
        folder.Write("data.hex", "- 02 0010 AA BB\r\nnot a line\r\n- 01 0020 CC\r\n");
    const SSimqResult result =
        RunSimq(Concat(k6502Machine, {"--load", bin + "@2000", "--load", hex + "@3000", "--exec",
                                      "D 2000 3", "--exec", "D 3010 2", "--exec", "D 3020 1"}));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("1 line of " + hex + " could not be read (line 2)"),
              std::string::npos)
        << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0].substr(0, 17), ":002000 01 02 03 ");
    EXPECT_EQ(lines[1].substr(0, 14), ":003010 AA BB ");
    EXPECT_EQ(lines[2].substr(0, 11), ":003020 CC ");
}

TEST(Simq, AnImageOfWhichNothingCanBeReadIsABadFile) {
    const CScratchFolder folder;
    const std::string bad = folder.Write("bad.s19", "S1FF00\nhello\n");
    const SSimqResult result = RunSimq({"--load", bad, "--regs"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("2 lines of " + bad + " could not be read (lines 1, 2)"),
              std::string::npos)
        << result.err;
}

TEST(Simq, DumpsMemoryAsSRecordsAndHexDumps) {
    const CScratchFolder folder;
    const SSimqResult result = RunSimq(
        Concat(k6502Machine, {"--exec", ":1000 41 42 43 44", "--dump", folder.Path("out.s19"),
                              "1000", "4", "--dump", folder.Path("out.hex"), "1002", "2"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(folder.Read("out.s19"), "S107100041424344DE\nS5030001FB\nS9031000EC\n");
    EXPECT_EQ(folder.Read("out.hex"), "- 02 1002 43 44\r\n");
    // A dump that cannot be written is a bad input, and no file is left.
    const SSimqResult bad = RunSimq({"--dump", folder.Path("none/out.s19"), "0", "10"});
    EXPECT_EQ(bad.exitCode, 2);
}

TEST(Simq, SavesAWorkspaceThatOpensAgain) {
    const CScratchFolder folder;
    const std::string file = folder.Path("work.sqw");
    const SSimqResult saved = RunSimq({"--system", "corvane", "--set", "r5=ABCDEF", "--set",
                                       "pc=FF0000", "--exec", ":100 5A", "--save", file});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    const SSimqResult opened = RunSimq({file, "--regs", "--exec", "D 100 1"});
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    const std::vector<std::string> lines = Lines(opened.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("R5=ABCDEF"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("PC=FF0000"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].substr(0, 11), ":000100 5A ");
}

TEST(Simq, TracesEveryExecutedInstructionWithTheRegistersAfterIt) {
    const CScratchFolder folder;
    // 0400: LDA #05; TAX; INX; JMP 0403
    const SSimqResult result = RunSimq(With6502Program(
        "A9 05 AA E8 4C 03 04", {"--step", "1", "--trace", folder.Path("trace.txt"), "--step", "1",
                                 "--break", "0403", "--run", "--json"}));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(folder.Read("trace.txt"),
              "0 0402 TAX                      A=05 X=05 Y=00 SP=FF PC=0403 STATUS=30\n"
              "0 0403 INX                      A=05 X=06 Y=00 SP=FF PC=0404 STATUS=30\n"
              "0 0404 JMP $0403                A=05 X=06 Y=00 SP=FF PC=0403 STATUS=30\n");
    const QJsonObject json = ParseJson(LastLine(result.out));
    EXPECT_EQ(json["stop_reason"].toString(), "breakpoint");
    EXPECT_EQ(json["instructions"].toInt(), 2);
}

TEST(Simq, ATracedRunKeepsTheRunLimits) {
    const CScratchFolder folder;
    const SSimqResult result =
        RunSimq(With6502Program("4C 00 04", {"--trace", folder.Path("trace.txt"),
                                             "--limit-instructions", "4", "--run-all"}));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(Lines(folder.Read("trace.txt")).size(), 5u);
}

// The example listings show what the code window shows for their images.
TEST(SimqExamples, ListingsMatchTheImages) {
    struct SExample {
        const char* listing;
        Args machine;
    };
    const SExample examples[] = {
        {"examples/6502/sieve.lst",
         Concat(k6502Machine, {"--load", SourcePath("examples/6502/sieve.hex")})},
        {"examples/vo16/checkerboard.lst",
         {"--load", SourcePath("examples/vo16/checkerboard.s19")}},
        {"examples/corvane/picture.lst",
         {"--system", "corvane", "--load", SourcePath("examples/corvane/picture.s19")}},
    };
    for (const SExample& example : examples) {
        const CScratchFolder folder;
        std::ifstream in(SourcePath(example.listing));
        ASSERT_TRUE(in) << example.listing;
        Args args = example.machine;
        std::vector<std::string> expected;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || !std::isxdigit(static_cast<unsigned char>(line[0]))) continue;
            std::string code = line.substr(0, line.find(';'));
            code.erase(code.find_last_not_of(' ') + 1);
            args = Concat(args, {"--list", line.substr(0, line.find(' ')), "1"});
            expected.push_back(code);
        }
        ASSERT_FALSE(expected.empty());
        const SSimqResult result = RunSimq(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(Lines(result.out), expected) << example.listing;
    }
}

}  // namespace
