// simq end to end: the built runner on the example programs and on small
// purpose-made programs, checking what it prints, writes and exits with, and
// that the PNG it writes is the frame the library renders.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/WorkspaceFile.h"
#include "devices/VideoDevice.h"
#include "system/StandardClasses.h"

namespace {

using Args = std::vector<std::string>;

// A file in a folder of this test process, removed when it ends.
std::string Path(const std::string& name) {
    static const struct SFolder {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("simq-test-" + std::to_string(getpid()));
        SFolder() { std::filesystem::create_directories(path); }
        ~SFolder() { std::filesystem::remove_all(path); }
    } folder;
    return (folder.path / name).string();
}

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string Write(const std::string& name, const std::string& contents) {
    std::ofstream(Path(name), std::ios::binary) << contents;
    return Path(name);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct SRun {
    int exitCode;
    std::string out, err;
    std::vector<std::string> lines;
};

// Runs the built simq, each argument quoted for the shell.
SRun Simq(const Args& args) {
    std::string command = SIMQ_PATH;
    for (const std::string& arg : args)
        command += " '" + std::regex_replace(arg, std::regex("'"), "'\\''") + "'";
    const int status = std::system((command + " >" + Path("out") + " 2>" + Path("err")).c_str());
    const std::string out = Read(Path("out"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, Read(Path("err")), Lines(out)};
}

Args operator+(Args first, const Args& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string Source(const std::string& relative) {
    return SIMQ_SOURCE_DIR "/" + relative;
}

// A blank workspace with one 6502 and 64 KiB of RAM, and the same with a
// program entered through the monitor at 0400 and the program counter there.
const Args k6502 = {"--system",  "blank",        "--add-unit",
                    "C6502:cpu", "--add-device", "CRam:RAM:0:FFFF"};
Args With6502Program(const std::string& bytes) {
    return k6502 + Args{"--exec", ":0400 " + bytes, "--set", "pc=0400"};
}

QJsonObject Json(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

// --list actions for each code line of an example's listing, and the lines
// they must print (the code without its comment).
std::pair<Args, std::vector<std::string>> ListingOf(const std::string& listing) {
    std::pair<Args, std::vector<std::string>> result;
    std::ifstream in(Source(listing));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || !std::isxdigit(static_cast<unsigned char>(line[0]))) continue;
        line = line.substr(0, line.find(';'));
        result.first = result.first + Args{"--list", line.substr(0, line.find(' ')), "1"};
        result.second.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
    EXPECT_GT(result.second.size(), 10u) << listing;
    return result;
}

// The PNG matches, pixel for pixel, the frame the library renders for the
// device in the workspace simq saved.
void ExpectPngIsTheLibraryFrame(const std::string& device, const std::string& png) {
    RegisterStandardClasses();
    CComputer computer;
    std::string error;
    ASSERT_TRUE(OpenWorkspaceFile(computer, Path("work.sqw"), &error)) << error;
    auto* video = dynamic_cast<CVideoDevice*>(computer.GetDevices()->FindByName(device));
    ASSERT_NE(video, nullptr);
    SVideoFrame frame;
    video->RenderFrame(frame);
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(frame.width, frame.height));
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x)
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, frame.RgbAt(x, y)) << x << "," << y;
}

TEST(Simq, HelpListsEveryActionAndVersionHasOne) {
    const SRun help = Simq({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* action :
         {"--system",        "--add-unit", "--add-device", "--load",
          "--unit",          "--set",      "--reset",      "--break",
          "--step",          "--run",      "--run-all",    "--limit-instructions",
          "--limit-seconds", "--exec",     "--regs",       "--stats",
          "--list",          "--dump",     "--save",       "--frame",
          "--trace",         "--json",     "--help",       "--version",
          "--watch",         "--history",  "--step-back",  "--run-back",
          "--profile"})
        EXPECT_TRUE(std::regex_search(help.out, std::regex("\\n  " + std::string(action) + "\\b")))
            << action;
    const SRun version = Simq({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("simq [0-9]+\\.[0-9]+\\.[0-9]+\\n")));
}

// A malformed command line or an input that cannot be read: exit 2, one line
// on stderr and nothing on stdout (the --regs at the end never runs).
TEST(Simq, BadArgumentsAndInputsExitWithTwoAndOneLine) {
    const std::string unreadable = Write("bad.s19", "S1FF00\nhello\n");
    // Hostile inputs: endless ones, folders, random bytes, read-only targets.
    std::filesystem::remove(Path("fifo.s19"));
    std::filesystem::remove(Path("zero.bin"));
    std::filesystem::remove(Path("fifo.ws"));
    mkfifo(Path("fifo.s19").c_str(), 0600);
    mkfifo(Path("fifo.ws").c_str(), 0600);
    std::filesystem::create_symlink("/dev/zero", Path("zero.bin"));
    std::filesystem::create_directories(Path("folder.ws"));
    const std::string empty = Write("empty.bin", "");
    const std::string small = Write("small.bin", "abc");
    const std::string random = Write(
        "random.ws", std::string("\x7F\x45\x4C\x46\x02\x01\x01", 7) + std::string(300, '\xA5'));
    const std::string readOnly = Write("readonly.ws", "old");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    const std::pair<Args, std::string> cases[] = {
        {{"--frobnicate"}, "unknown action --frobnicate"},
        {{"--step"}, "--step needs 1 parameter"},
        {{"--step", "1A"}, "decimal"},
        {{"--break", "12G4"}, "hexadecimal"},
        {{"--break", "123456789"}, "hexadecimal"},
        {{"--system", "pdp11"}, "corvane, vo16 or blank"},
        {{"--watch", "x:0200"}, "r, w or rw"},
        {{"--watch", "w:0300-0200"}, "ends before it begins"},
        {{"--watch", "w:0200=zz"}, "not hexadecimal"},
        {{"--break", "0400:a == 1:x"}, "ignore count"},
        {{"--break", "0409:a == "}, "condition 'a =='"},
        {{"--history", "sometimes"}, "on, off or a number"},
        {{"--step-back", "1"}, "the history is off"},
        {{"--unit", "8"}, "0 to 7"},
        {{"--set", "pc"}, "REG=VALUE"},
        {{"--limit-instructions", "9223372036854775808"}, "up to 9223372036854775807"},
        {{"--list", "0"}, "--list needs 2 parameters"},
        {{"--dump", "x.s19", "FFFFFFFF", "2"}, "past address FFFFFFFF"},
        {{"--dump", "/nonexistent/out.s19", "0", "10"}, "/nonexistent/out.s19"},
        {{"--add-unit", "C6502"}, "CLASS:NAME"},
        {{"--add-unit", "CZ80:cpu"}, "unknown unit class CZ80"},
        {{"--add-device", "CRam:RAM:100:FF"}, "FROM must not lie above TO"},
        {{"--add-device", "CRam:RAM:0:FF:fast"}, "unknown device option"},
        {{"--add-device", "CRam:RAM:0:FF:irq=15"}, "IRQ code"},
        {{"--add-device", "CKeyboard:K:0:FF:ro"}, "memory devices (CRam) only"},
        {{"--add-device", "CRam:RAM:0:FFFFFFFF"}, "at most"},
        {{"a.ws", "b.ws"}, "only the first argument"},
        {{"/nonexistent/work.sqw"}, "cannot open the workspace"},
        {{"--load", "/nonexistent/prog.s19"}, "--load"},
        {{"--load", "program.elf"}, "must end in .s19, .s28, .s37, .srec or .mot"},
        {{"--load", unreadable}, "2 lines of " + unreadable + " could not be read (lines 1, 2)"},
        {{"--system", "blank"}, "no active processing unit"},
        {{"--unit", "3"}, "no unit in slot 3"},
        {{"--set", "r16=1"}, "no register r16"},
        {{"--set", "r1=10000"}, "does not fit register R1"},
        {{"--exec", "hello"}, "not a monitor command"},
        {{"--exec", ":0 " + std::string(200, '1')}, "199 characters"},
        {{"--frame", "Screen", "x.png"}, "no video device named 'Screen'"},
        {{"--frame", "Vo16 VGA Controller", "/nonexistent/x.png"}, "/nonexistent/x.png"},
        {{"--trace", "/nonexistent/trace.txt"}, "cannot write the trace"},
        {{"--load", Path("fifo.s19")}, "is not a regular file"},
        {{"--load", Path("zero.bin")}, "is not a regular file"},
        {{"--load-symbols", Path("fifo.s19")}, "is not a regular file"},
        {{Path("fifo.ws")}, "is not a regular file"},
        {{Path("folder.ws")}, "is a folder, not a file"},
        {{random}, "it is not a workspace file"},
        {{"--load", empty}, "0 bytes loaded"},
        {{"--load", small + "@FFFFFFF0"}, "Nothing of small.bin falls on a device"},
        {{"--load", small + "@12G4"}, "the load address '12G4' after @ is not a hexadecimal"},
        {{"--save", readOnly}, "read-only"},
        {{"--save", Path("fifo.ws")}, "not a regular file"},
        // A breakpoint the Vo16 can never reach does not make a run end.
        {{"--break", "FFFFFFFF", "--run"}, "outside the active unit's address space"},
        // Runs that nothing would end, on one unit or on any of several.
        {With6502Program("4C 00 04") + Args{"--run"}, "refused"},
        {With6502Program("4C 00 04") + Args{"--run-all"}, "--limit-instructions"},
        {With6502Program("4C 00 04") +
             Args{"--break", "0400", "--add-unit", "C6502:second", "--run-all"},
         "refused"}};
    for (const auto& [args, message] : cases) {
        const SRun run = Simq(args + Args{"--regs"});
        EXPECT_EQ(run.exitCode, 2) << message;
        EXPECT_EQ(run.out, "") << message;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("simq: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_EQ(Read(readOnly), "old");
    // --json reports the error, after the default workspace: the Vo16 system.
    const SRun json = Simq({"--json", "--load", "/nonexistent/x.hex"});
    EXPECT_EQ(json.exitCode, 2);
    const QJsonObject report = Json(json.out);
    EXPECT_EQ(report["exit_code"].toInt(), 2);
    EXPECT_NE(report["error"].toString().indexOf("x.hex"), -1);
    const QJsonObject unit = report["units"].toArray()[0].toObject();
    EXPECT_EQ(unit["class"].toString() + "|" + unit["name"].toString(), "CVo16|Vo16 Processor #0");
}

// Output that cannot be written is a failure, not a success.
TEST(Simq, AFailedWriteToStandardOutputExitsWithTwo) {
    for (const char* action : {"--regs", "--help", "--version"}) {
        const std::string command =
            std::string(SIMQ_PATH) + " " + action + " >/dev/full 2>" + Path("err");
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << action;
        EXPECT_EQ(WEXITSTATUS(status), 2) << action;
        EXPECT_NE(Read(Path("err")).find("writing the standard output failed"), std::string::npos)
            << action;
    }
}

// Names read from a workspace are shown escaped and cut, on one line, and a
// machine of many video controllers runs a bounded number of displays.
TEST(Simq, NamesFromAFileStayOnOneLineAndDisplaysAreBounded) {
    RegisterStandardClasses();
    {
        CComputer computer;
        computer.NewContents();
        std::vector<std::unique_ptr<CDevice>> controllers;
        for (int i = 0; i < kMaxDisplays + 4; ++i) {
            std::unique_ptr<CDevice> vic = DeviceClasses().Create("CVic");
            vic->SetName(i == 0 ? "Bad\nname\x1B[2J" + std::string(300, 'x') : "VIC");
            controllers.push_back(std::move(vic));
        }
        computer.GetDevices()->AddTailAll(controllers);
        std::string error;
        ASSERT_TRUE(SaveWorkspaceFile(computer, Path("names.sqw"), &error)) << error;
    }
    const SRun run = Simq({Path("names.sqw"), "--frame", "Screen", Path("x.png")});
    EXPECT_EQ(run.exitCode, 2);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;  // the displays' warning, the error
    EXPECT_NE(lines[0].find("at most 16 displays; 4 video devices render no frames"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("Bad\\x0Aname\\x1B[2J" + std::string(64 - 12, 'x') + "..."),
              std::string::npos)
        << lines[1];
    EXPECT_LT(lines[1].size(), 300u);
}

// The sieve example to its breakpoint, with its listing; then a dump of
// memory entered through the monitor.
TEST(Simq, RunsTheSieveExampleToItsBreakpointAndDumpsMemory) {
    const auto [list, listed] = ListingOf("examples/6502/sieve.lst");
    const SRun run = Simq(k6502 + Args{"--load",  Source("examples/6502/sieve.hex"),
                                       "--reset", "--break",
                                       "0440",    "--run",
                                       "--regs",  "--stats",
                                       "--exec",  "D 10 2",
                                       "--exec",  ":1000 41 42 43 44",
                                       "--dump",  Path("out.s19"),
                                       "1000",    "4",
                                       "--dump",  Path("out.hex"),
                                       "1002",    "2"} +
                          list);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.lines.size(), 3 + listed.size()) << run.out;
    EXPECT_EQ(run.lines[0], "A=36 X=00 Y=36 SP=FF PC=0440 STATUS=31");  // 54 primes below 256
    EXPECT_TRUE(std::regex_match(
        run.lines[1], std::regex("fetches=[1-9][0-9]* cycles=[0-9]+ loads=[0-9]+ stores=[0-9]+")));
    EXPECT_EQ(run.lines[2].substr(0, 14), ":000010 FB 36 ");
    EXPECT_EQ(std::vector(run.lines.begin() + 3, run.lines.end()), listed);
    EXPECT_EQ(Read(Path("out.s19")),
              "S00A00006F75742E73313992\nS107100041424344DE\nS5030001FB\nS9031000EC\n");
    EXPECT_EQ(Read(Path("out.hex")), "- 02 1002 43 44\r\n");
}

// A limit ends a run-away program with exit 1; the trace shows every
// instruction executed after --trace, with the registers after it.
TEST(Simq, ALimitEndsARunAwayProgramWithExitOneAndTheTraceShowsItsSteps) {
    // 0400: LDA #05; TAX; INX; JMP 0403
    const SRun run = Simq(With6502Program("A9 05 AA E8 4C 03 04") +
                          Args{"--step", "1", "--trace", Path("trace.txt"), "--step", "1",
                               "--limit-instructions", "2", "--run-all", "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(Read(Path("trace.txt")),
              "0 0402 TAX                      A=05 X=05 Y=00 SP=FF PC=0403 STATUS=30\n"
              "0 0403 INX                      A=05 X=06 Y=00 SP=FF PC=0404 STATUS=30\n"
              "0 0404 JMP $0403                A=05 X=06 Y=00 SP=FF PC=0403 STATUS=30\n"
              "0 0403 INX                      A=05 X=07 Y=00 SP=FF PC=0404 STATUS=30\n");
    const QJsonObject json = Json(run.out);
    EXPECT_EQ(json["stop_reason"].toString(), "instruction-limit");
    EXPECT_EQ(json["instructions"].toInt(), 3);  // the limit stops after one more
    EXPECT_EQ(json["exit_code"].toInt(), 1);

    // A later run that reaches its breakpoint succeeds. 0400: INX; JMP 0400
    const SRun later =
        Simq(With6502Program("E8 4C 00 04") + Args{"--limit-instructions", "10", "--run", "--regs",
                                                   "--break", "0401", "--run", "--regs", "--json"});
    EXPECT_EQ(later.exitCode, 0) << later.err;
    ASSERT_EQ(later.lines.size(), 3u) << later.out;
    EXPECT_EQ(later.lines[0], "A=00 X=06 Y=00 SP=FF PC=0401 STATUS=30");
    EXPECT_EQ(later.lines[1], "A=00 X=07 Y=00 SP=FF PC=0401 STATUS=30");
    EXPECT_EQ(Json(later.lines[2])["stop_reason"].toString(), "breakpoint");
}

TEST(Simq, RunAllWaitsForEveryUnitAndJsonReportsThemAll) {
    // Unit 0 at 0400: INX; JMP 0400, to its breakpoint after one instruction.
    // Unit 1 "second..." at 0500: LDX #0A; DEX; BNE 0502; JMP 0505, to 0505.
    // Unit 2, a Corvane, never runs; its counters include the cache's.
    const SRun run = Simq(With6502Program("E8 4C 00 04") +
                          Args{"--break", "0401", "--add-unit", "C6502:second \"quoted\"\t\xE9",
                               "--unit", "1", "--exec", ":0500 A2 0A CA D0 FD 4C 05 05", "--set",
                               "pc=0500", "--break", "0505", "--run-all", "--add-unit",
                               "CCorvaneMPU:third:3", "--unit", "2", "--stats", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u) << run.out;
    EXPECT_EQ(run.lines[0], "fetches=0 cycles=0 loads=0 stores=0 cache_attempts=0 cache_misses=0");
    const QJsonObject json = Json(run.lines[1]);
    EXPECT_EQ(json["stop_reason"].toString(), "breakpoint");
    EXPECT_EQ(json["instructions"].toInt(), 22);
    EXPECT_TRUE(json["error"].isNull());
    const QJsonArray units = json["units"].toArray();
    ASSERT_EQ(units.size(), 3);
    const char* classes[] = {"C6502", "C6502", "CCorvaneMPU"};
    const char* pcs[] = {"0401", "0505", "FFFFF8"};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject unit = units[i].toObject();
        EXPECT_EQ(unit["slot"].toInt(), i);
        EXPECT_EQ(unit["class"].toString(), classes[i]);
        EXPECT_EQ(unit["active"].toBool(), i == 2);
        EXPECT_EQ(unit["state"].toString(), "idle");
        EXPECT_EQ(unit["registers"].toObject()["PC"].toString(), pcs[i]);
    }
    // Names are one byte a character: E9 is the Latin-1 e acute.
    EXPECT_EQ(units[1].toObject()["name"].toString(), QString("second \"quoted\"\t\u00E9"));
    EXPECT_EQ(units[2].toObject()["counters"].toObject()["cache_misses"].toInt(), 0);
}

// --set takes the names the register pane shows, in any case, and --regs
// prints them in pane order, zero-padded to the register's width; --reset
// resets the active unit.
TEST(Simq, SetsStepsResetsAndPrintsRegisters) {
    // 0400: LDA #05; TAX; INX
    const SRun run = Simq(With6502Program("A9 05 AA E8") +
                          Args{"--exec", ":FFFC 00 04", "--set", "Y=7F", "--set", "status=F1",
                               "--step", "3", "--regs", "--reset", "--regs"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "A=05 X=06 Y=7F SP=FF PC=0404 STATUS=71\n"
              "A=05 X=06 Y=7F SP=FF PC=0400 STATUS=30\n");
    const SRun vo16 = Simq(
        {"--system", "vo16", "--set", "r1=abc", "--set", "R15=FFFF", "--set", "pc=1234", "--regs"});
    EXPECT_EQ(vo16.out.substr(0, 24), "R0=0000 R1=0ABC R2=0000 ");
    EXPECT_NE(vo16.out.find(" R14=0000 R15=FFFF PC=1234\n"), std::string::npos) << vo16.out;
    const SRun corvane =
        Simq({"--system", "corvane", "--set", "r1=FFFFFF", "--set", "r28=123456", "--set", "r29=A",
              "--set", "LR=B", "--set", "r31=c", "--set", "sr=300", "--set", "cr=1", "--regs"});
    EXPECT_EQ(corvane.out.substr(0, 27), "R0=000000 R1=FFFFFF R2=0000");
    EXPECT_NE(corvane.out.find(" R28=123456 SP=00000A LR=00000B IPC=00000C PC=FFFFF8 SR=000300 "
                               "CR=000001\n"),
              std::string::npos)
        << corvane.out;
}

TEST(Simq, DeviceOptionsShapeTheBusAndImagesLoadAtTheirAddresses) {
    // ROM at 1000 (a processor write leaves it, the monitor's forced write
    // does not); memory with stride 2 at 2000 (2002 and 2003 are one byte).
    const std::string bin = Write("data.bin", std::string("\x01\x02\x03", 3));
    const std::string hex = Write("data.hex", "- 02 0010 AA BB\r\nnot a line\r\n- 01 0020 CC\r\n");
    const SRun run =
        Simq({"--system", "blank", "--add-unit", "C6502:cpu", "--add-device", "CRam:RAM:0:FFF",
              "--add-device", "CRam:ROM:1000:10FF:ro", "--add-device",
              "CRam:Strided:2000:21FF:stride=2:size=100", "--add-device",
              "CTimeSlicer:Slicer:3000:3000:irq=2", "--add-device", "CRam:More:4000:FFFF",
              // LDA #77; STA 1000; STA 2002
              "--exec", ":0400 A9 77 8D 00 10 8D 02 20", "--set", "pc=0400", "--exec", ":1001 55",
              "--step", "3", "--exec", "D 1000 2", "--exec", "D 2003 1", "--load", bin + "@5000",
              "--load", hex + "@6000", "--exec", "D 5000 3", "--exec", "D 6010 2", "--exec",
              "D 6020 1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "simq: warning: --load: 1 line of " + hex + " could not be read (line 2)\n");
    ASSERT_EQ(run.lines.size(), 5u) << run.out;
    const char* dumps[] = {":001000 00 55 ", ":002003 77 ", ":005000 01 02 03 ", ":006010 AA BB ",
                           ":006020 CC "};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(run.lines[i].substr(0, strlen(dumps[i])), dumps[i]);
}

TEST(Simq, SavesAWorkspaceThatOpensAgain) {
    const SRun saved = Simq({"--system", "corvane", "--set", "r5=ABCDEF", "--set", "pc=FF0000",
                             "--exec", ":100 5A", "--save", Path("saved.sqw")});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    const SRun opened = Simq({Path("saved.sqw"), "--regs", "--exec", "D 100 1"});
    ASSERT_EQ(opened.lines.size(), 2u) << opened.err;
    EXPECT_NE(opened.lines[0].find(" R5=ABCDEF "), std::string::npos) << opened.lines[0];
    EXPECT_NE(opened.lines[0].find(" PC=FF0000 "), std::string::npos) << opened.lines[0];
    EXPECT_EQ(opened.lines[1].substr(0, 11), ":000100 5A ");
}

// The VIC's display renders while the unit runs and its end-of-frame
// interrupt reaches the program: a Corvane counts the interrupts at 000010.
TEST(Simq, VideoDisplaysRaiseTheirInterruptsWhileUnitsRun) {
    const SRun run =
        Simq({"--system", "blank", "--add-device", "CRam:RAM:0:FFFF", "--add-device",
              "CRam:TOP:FFFF00:FFFFFF", "--add-device", "CVic:VIC:300000:300FFF:stride=3:irq=7",
              "--add-unit", "CCorvaneMPU:cpu:80",
              // VIC frame interrupt on, interrupts on, then wait in a loop.
              "--exec", ":100 00 30 BC 00 20 64 01 40 64 09 41 FC 03 00 BC 00 64 27 FA 00 08",
              // The handler: count, read the VIC status (withdrawing the request), return.
              "--exec", ":200 10 80 DE 01 94 66 10 80 FE 0C A1 DE 00 1F 0D",
              // The IRQ entry jumps to the handler.
              "--exec", ":FFFFE8 02 00 BC 00 00 0D", "--set", "pc=100", "--limit-seconds", "1",
              "--run", "--exec", "D 10 3"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    ASSERT_EQ(run.out.substr(0, 8), ":000010 ") << run.out;
    EXPECT_NE(run.out.substr(8, 2), "00") << run.out;
}

TEST(Simq, TheVo16CheckerboardExampleFrameAndListing) {
    const auto [list, listed] = ListingOf("examples/vo16/checkerboard.lst");
    const std::string png = Path("checkerboard.png");
    const SRun run = Simq(Args{"--load", Source("examples/vo16/checkerboard.s19")} + list +
                          Args{"--break", "FF1E", "--run", "--frame", "Vo16 VGA Controller", png,
                               "--save", Path("work.sqw")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.lines, listed);
    ExpectPngIsTheLibraryFrame("Vo16 VGA Controller", png);
    // Squares of 8 x 8 pixels, black at the top left.
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(image.pixel(8, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(0, 8) & 0xFFFFFF, 0xFFFFFFu);
}

// A frame that cannot be written in full (here past the file-size limit)
// leaves the previous file as it was and no temporary file beside it.
TEST(Simq, AFrameThatCannotBeWrittenKeepsThePreviousFile) {
    const std::string png = Write("kept.png", "the previous picture");
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit small = limit;
    small.rlim_cur = 256;  // room for the messages, not for the picture
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SRun run = Simq({"--frame", "Vo16 VGA Controller", png});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(png), std::string::npos) << run.err;
    EXPECT_EQ(Read(png), "the previous picture");
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
        EXPECT_EQ(entry.path().filename().string().find("kept.png."), std::string::npos)
            << entry.path();
}

// The command line the Corvane example documents: the program runs until the
// time limit while the VIC's display renders and the time slicer's timer
// interrupts it.
TEST(Simq, TheCorvanePictureExampleFrameListingAndTimeSlicerTicks) {
    const auto [list, listed] = ListingOf("examples/corvane/picture.lst");
    const std::string png = Path("picture.png");
    const SRun run =
        Simq(Args{"--system", "corvane", "--load", Source("examples/corvane/picture.s19")} + list +
             Args{"--limit-seconds", "2", "--run-all", "--frame", "VIC", png, "--save",
                  Path("work.sqw"), "--exec", "D 10 3"});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    ExpectPngIsTheLibraryFrame("VIC", png);
    // The picture starts at pixel 52 of line 24 of the bordered frame: colour
    // 0, then every 16 pixels the next colour of the palette.
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.pixel(52, 24) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(image.pixel(52 + 16, 24) & 0xFFFFFF, 0x13EF30u);
    EXPECT_EQ(image.pixel(52, 24 + 16) & 0xFFFFFF, 0x13EF30u);
    ASSERT_EQ(run.lines.size(), 1 + listed.size()) << run.out;
    // The handler counted at least one tick of the slicer's 200 ms timer.
    EXPECT_EQ(run.lines.back().substr(0, 8), ":000010 ");
    EXPECT_NE(run.lines.back().substr(8, 2), "00") << run.lines.back();
    EXPECT_EQ(std::vector(run.lines.begin(), run.lines.end() - 1), listed);
}

}  // namespace

// The assembler end to end: a label file of the common 6502 toolchain gives
// --list its labels and --break its symbol; a source assembles into the
// workspace; a source with errors lists them all and writes nothing.
TEST(Simq, AssemblesAndUsesSymbolsInListingsAndBreakpoints) {
    const std::string labels = Write("sieve.lbl",
                                     "al 000400 .start\nal 000440 .done\n"
                                     "al 000200 .sieve\nal 000407 .clear\n");
    const SRun run =
        Simq(k6502 + Args{"--load", Source("examples/6502/sieve.hex"), "--load-symbols", labels,
                          "--reset", "--break", "done", "--run", "--regs", "--list", "clear", "3"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "A=36 X=00 Y=36 SP=FF PC=0440 STATUS=31",
                             "clear:", "0407 9D 00 02        STA      sieve,X",
                             "040A E8              INX", "040B D0 FA           BNE      clear"}));

    const std::string source = Write("p.s", "  org 400\nstart: lda #5\n  sta $0200\n  jmp start\n");
    const SRun loaded = Simq(k6502 + Args{"--asm-cpu", "6502", "--assemble", source, "--list",
                                          "start", "1", "--exec", "D 0400 3"});
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_EQ(loaded.lines[1], "0400 A9 05           LDA      #05");
    ASSERT_EQ(loaded.lines.size(), 3u);
    EXPECT_EQ(loaded.lines[2].substr(0, 17), ":000400 A9 05 8D ");

    const std::string bad = Write("bad.s", "  cpu 6502\n  lda #100\n  jmp nowhere\n");
    const SRun failed = Simq({"--assemble", bad, "-o", Path("never.s19")});
    EXPECT_EQ(failed.exitCode, 2);
    EXPECT_EQ(Lines(failed.err).size(), 3u) << failed.err;
    EXPECT_NE(failed.err.find("bad.s:3:7: unknown name 'nowhere'"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("never.s19")));
}

namespace {

// The standard Corvane system saved and opened again draws the example's
// picture as a fresh one does: the VIC keeps its stride, the ROM stays ROM.
TEST(Simq, TheCorvanePictureAfterSaveAndOpenIsTheFreshOne) {
    const std::string saved = Path("corvane.sqw");
    ASSERT_EQ(Simq({"--system", "corvane", "--save", saved}).exitCode, 0);
    const Args run = {"--load",
                      Source("examples/corvane/picture.s19"),
                      "--limit-instructions",
                      "3000000",
                      "--run-all",
                      "--frame",
                      "VIC"};
    ASSERT_EQ(Simq(Args{"--system", "corvane"} + run + Args{Path("fresh.png")}).exitCode, 1);
    ASSERT_EQ(Simq(Args{saved} + run + Args{Path("opened.png")}).exitCode, 1);
    const QImage fresh(QString::fromStdString(Path("fresh.png")));
    const QImage opened(QString::fromStdString(Path("opened.png")));
    ASSERT_FALSE(fresh.isNull());
    ASSERT_EQ(opened.size(), fresh.size());
    // The border's colour counts the time-slicer ticks the run saw, which
    // depends on the host's speed; the picture inside it (from pixel 52 of
    // line 24) must be the same.
    const QRect picture(52, 24, fresh.width() - 2 * 52, fresh.height() - 2 * 24);
    EXPECT_EQ(opened.copy(picture), fresh.copy(picture));
}

}  // namespace

// The debugging aids end to end on a counting loop: the low byte of the count
// at 0010, stored again at 0200 ("sta $0200" at 0417, the loop at 0409).
TEST(Simq, WatchpointsConditionsHistoryAndProfile) {
    const Args loop = With6502Program(
        "D8 A2 00 A9 00 85 10 85 11 18 A5 10 69 01 85 10 A5 11 69 00 85 11 E8 "
        "8D 00 02 D0 ED 4C 09 04");
    // A watchpoint with a value: the store of pass 5 to 0010.
    SRun run = Simq(loop + Args{"--watch", "w:0010=05", "--run", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    QJsonObject json = Json(run.lines.back());
    EXPECT_EQ(json["stop_reason"].toString(), "watchpoint");
    const QJsonObject detail = json["stop_detail"].toObject();
    EXPECT_EQ(detail["address"].toString(), "0010");
    EXPECT_EQ(detail["access"].toString(), "write");
    EXPECT_EQ(detail["value"].toString(), "05");
    EXPECT_EQ(detail["pc"].toString(), "0410");

    // A condition, and an ignore count: both stop where the loop begins its
    // 1000th pass (X counts the passes done, modulo 256).
    for (const char* breakpoint : {"0409:[0011] == 3 && [0010] == e7 && x == e7", "0409::999"}) {
        run = Simq(loop + Args{"--break", breakpoint, "--run", "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        json = Json(run.lines.back());
        EXPECT_EQ(json["stop_reason"].toString(), "condition") << breakpoint;
        EXPECT_EQ(json["units"][0]["registers"]["X"].toString().toStdString(), "E7") << breakpoint;
    }

    // Back 1000 instructions and forward again: the same registers and memory.
    run = Simq(loop + Args{"--history", "on", "--limit-instructions", "5000", "--run", "--regs",
                           "--exec", "D 0000 20", "--step-back", "1000", "--regs", "--step", "1000",
                           "--regs", "--exec", "D 0000 20"});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    // Registers, two dump lines; registers back; registers, two dump lines.
    ASSERT_EQ(run.lines.size(), 7u) << run.out;
    EXPECT_NE(run.lines[3], run.lines[0]);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(run.lines[4 + i], run.lines[i]);
    // The history holds no more than it was asked to.
    run = Simq(loop + Args{"--history", "10", "--limit-instructions", "100", "--run", "--step-back",
                           "50"});
    EXPECT_NE(run.err.find("only 10 instructions"), std::string::npos) << run.err;

    // The profile: counts that add up to the instructions run.
    const std::string csv = Path("profile.csv");
    run = Simq(loop + Args{"--profile", csv, "--limit-instructions", "2000", "--run", "--json"});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> rows = Lines(Read(csv));
    ASSERT_GT(rows.size(), 10u);
    EXPECT_EQ(rows[0], "unit,address,count,percent,instruction");
    int64_t sum = 0;
    for (size_t i = 1; i < rows.size(); ++i)
        sum += std::stoll(rows[i].substr(rows[i].find(',', 2) + 1));
    EXPECT_EQ(sum, Json(run.lines.back())["instructions"].toInteger());

    // The debug file goes with the workspace file.
    const std::string work = Path("debug.sqw");
    run = Simq(loop + Args{"--watch", "w:0010=05", "--break", "0409:x == 7", "--save", work});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(Read(work + ".debug.json").find("w:0010=05"), std::string::npos);
    run = Simq({work, "--run", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Json(run.lines.back())["stop_reason"].toString(), "watchpoint");
    // A broken one is reported; the workspace still opens and runs.
    Write("debug.sqw.debug.json", "{\"version\": 1, \"watchpoints\": 5}");
    run = Simq({work, "--limit-instructions", "10", "--run"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("not a debug file"), std::string::npos) << run.err;
}
