// Fault paths: saves and dumps that cannot be written leave the old file as it
// was, truncated workspaces of every class fail to open even over a running
// workspace, and a display slow to stop keeps its device alive while the
// workspace is cleared.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Devices.h"
#include "core/Mpus.h"
#include "core/ProgramImage.h"
#include "core/Ram.h"
#include "core/WorkspaceFile.h"
#include "devices/Keyboard.h"
#include "devices/Vic.h"
#include "devices/Vo16VGA.h"
#include "support/TestHost.h"
#include "system/StandardClasses.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A full disk: while it lives no file of the process may grow beyond limit
// bytes; a write past it fails (EFBIG) instead of raising SIGXFSZ. Permission
// bits would not do, since the tests may run as root.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t limit) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = limit;
        m_applied = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool Applied() const { return m_applied; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_applied = false;
};

// A workspace with one unit of every class and one device of every class,
// memory small enough that every byte of the file can be cut.
void BuildEveryClass(CComputer& computer) {
    computer.NewContents();
    CDevices* bus = computer.GetDevices();
    struct {
        const char* className;
        uint32_t from, to;
    } const devices[] = {
        {"CRam", 0x0000, 0xFFFF},          {"CVic", 0x300000, 0x300FFF},
        {"CKeyboard", 0x301100, 0x3011FF}, {"CTimeSlicer", 0x301000, 0x3010FF},
        {"CVo16VGA", 0x0000, 0x0000},      {"C6818", 0x301200, 0x301201},
    };
    for (const auto& d : devices) {
        std::unique_ptr<CDevice> device = DeviceClasses().Create(d.className);
        ASSERT_NE(device, nullptr) << d.className;
        device->SetName(d.className);
        device->SetRange(d.from, d.to, d.from == 0x300000 ? 3 : 1);
        if (auto* ram = dynamic_cast<CRam*>(device.get())) ram->SetSize(0x1000);
        if (auto* keyboard = dynamic_cast<CKeyboard*>(device.get()))
            keyboard->SetKeyCodeText("41 42 0D");
        bus->AddTail(device.release());
    }
    std::mt19937 random(12);
    for (uint32_t a = 0; a < 0x1000; ++a)
        computer.Write(a, random(), 1, true);
    for (const char* name : {"C6502", "CVo16", "CCorvaneMPU"}) {
        std::unique_ptr<CMpu> unit = UnitClasses().Create(name);
        ASSERT_NE(unit, nullptr) << name;
        unit->SetBus(bus);
        unit->SetIrqMask(0x7FFF);
        unit->Reset();
        computer.GetMpus()->Add(unit.release());
    }
    computer.SetActiveProcessor(2);
}

class FaultPathTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandardClasses(); }
    void SetUp() override {
        host.Attach(&computer);
        dir = fs::temp_directory_path() /
              ("simq-fault-" + std::to_string(::getpid()));  // ctest runs tests side by side
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        computer.DeleteContents();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            files.push_back(entry.path());
        return files;
    }

    CTestHost host;
    CComputer computer{&host};
    fs::path dir;
};

// Writers of whole files: the workspace save and the memory dump.
struct SWriter {
    const char* name;
    const char* file;
    std::function<std::string(CComputer&, const std::string&)> write;  // the error, or ""
};

const SWriter kWriters[] = {
    {"Save", "machine.sqw",
     [](CComputer& computer, const std::string& path) {
         std::string error;
         return SaveWorkspaceFile(computer, path, &error) ? std::string() : error;
     }},
    {"DumpSRecords", "memory.s19",
     [](CComputer& computer, const std::string& path) {
         return DumpProgramImage(computer, path, 0, 0xFFF, 0).error;
     }},
    {"DumpHex", "memory.hex",
     [](CComputer& computer, const std::string& path) {
         return DumpProgramImage(computer, path, 0, 0xFFF, 0).error;
     }},
};

// Test names show the writer, not the object's bytes.
void PrintTo(const SWriter& writer, std::ostream* out) {
    *out << writer.name;
}

class FailedWriteTest : public FaultPathTest, public ::testing::WithParamInterface<SWriter> {
protected:
    void SetUp() override {
        FaultPathTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(BuildEveryClass(computer));
        target = dir / GetParam().file;
        ASSERT_EQ(GetParam().write(computer, target.string()), "");
        old = ReadAll(target);
        ASSERT_GT(old.size(), 4096u);
        // Something to lose: the next write would differ.
        for (uint32_t a = 0; a < 0x1000; ++a)
            computer.Write(a, ~computer.Read(a, 1), 1, true);
    }
    void ExpectOldFileOnly() {
        EXPECT_EQ(ReadAll(target), old);
        EXPECT_EQ(Files(), std::vector<fs::path>{target}) << "a temporary file was left";
    }
    fs::path target;
    std::string old;
};

TEST_P(FailedWriteTest, DiskFullKeepsTheOldFile) {
    std::string error;
    {
        CFileSizeLimit full(2048);
        ASSERT_TRUE(full.Applied());
        error = GetParam().write(computer, target.string());
    }
    EXPECT_NE(error, "");
    ExpectOldFileOnly();
}

TEST_P(FailedWriteTest, PathThatCannotBeCreatedKeepsTheOldFile) {
    // A folder where the file is, a file where a folder should be.
    const fs::path impossible[] = {target / "inner", dir / "missing" / GetParam().file};
    for (const fs::path& path : impossible) {
        EXPECT_NE(GetParam().write(computer, path.string()), "") << path;
        ExpectOldFileOnly();
    }
    // The write works again once the path is possible.
    EXPECT_EQ(GetParam().write(computer, target.string()), "");
    EXPECT_NE(ReadAll(target), old);
}

INSTANTIATE_TEST_SUITE_P(Writers, FailedWriteTest, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

// Every cut of a file holding every class fails to open, also when it is
// opened over a workspace whose units run and whose displays render.
TEST_F(FaultPathTest, EveryTruncationOfEveryClassFailsCleanly) {
    ASSERT_NO_FATAL_FAILURE(BuildEveryClass(computer));
    const std::vector<uint8_t> file = StoreWorkspace(computer);
    CComputer target;
    const std::string magic = "SQXB";  // the extension block, which may be cut
    const size_t records = static_cast<size_t>(
        std::find_end(file.begin(), file.end(), magic.begin(), magic.end()) - file.begin());
    for (size_t length = 0; length < records; ++length) {
        std::string error;
        ASSERT_FALSE(LoadWorkspace(target, std::span(file.data(), length), &error)) << length;
        ASSERT_NE(error, "") << length;
        ASSERT_TRUE(target.IsEmpty()) << length;
    }
    std::string error;
    ASSERT_TRUE(LoadWorkspace(target, file, &error)) << error;
    EXPECT_EQ(StoreWorkspace(target), file);

    const fs::path cut = dir / "cut.sqw";
    for (size_t length : {size_t{0}, size_t{3}, records / 3, records / 2, records - 1}) {
        BuildEveryClass(computer);
        StartDisplays(*computer.GetDevices());
        computer.RunAll();
        std::ofstream(cut, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(length));
        EXPECT_FALSE(OpenWorkspaceFile(computer, cut.string(), &error)) << length;
        EXPECT_NE(error.find(cut.string()), std::string::npos) << error;
        EXPECT_TRUE(computer.IsEmpty());
        EXPECT_FALSE(computer.HasRunThread());
        std::lock_guard guard(host.timerLock);
        EXPECT_TRUE(host.timers.empty()) << "timers outlive the workspace";
    }
    EXPECT_TRUE(host.messages.empty());
}

// A host whose FrameReady holds every renderer until a message is shown.
class CHoldingHost : public CTestHost {
public:
    void FrameReady(CDevice& device) override {
        std::unique_lock lock(m_lock);
        ++m_inFrameReady;
        m_signal.notify_all();
        m_signal.wait(lock, [this] { return m_released; });
        // The device must still be there once the renderer goes on.
        names.push_back(device.GetName());
        --m_inFrameReady;
    }
    void ShowMessage(std::string_view text, EMessageIcon icon) override {
        CTestHost::ShowMessage(text, icon);
        std::lock_guard guard(m_lock);
        m_released = true;
        m_signal.notify_all();
    }
    bool WaitUntilHolding(int renderers) {
        std::unique_lock lock(m_lock);
        return m_signal.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return m_inFrameReady >= renderers; });
    }
    std::vector<std::string> Names() {
        std::lock_guard guard(m_lock);
        return names;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    int m_inFrameReady = 0;
    bool m_released = false;
    std::vector<std::string> names;
};

TEST(SlowDisplayTest, ClearingWaitsForRenderersHeldInAFrame) {
    RegisterStandardClasses();
    CHoldingHost host;
    CComputer computer(&host);
    host.Attach(&computer);
    ASSERT_NO_FATAL_FAILURE(BuildEveryClass(computer));
    CDevices* bus = computer.GetDevices();
    // The VIC's interrupts reach the running units while it is held.
    bus->Write(0x300000 + 3 * 3, 3, 1, false);
    for (CDevice* d = bus->GetHead(); d; d = d->GetNext()) {
        if (auto* video = dynamic_cast<CVideoDevice*>(d)) {
            video->SetStopTimeout(std::chrono::milliseconds(0));
            ASSERT_TRUE(video->StartDisplay());
            video->RequestFrame();
        }
    }
    computer.RunAll();
    ASSERT_TRUE(host.WaitUntilHolding(2));
    computer.DeleteContents();
    // Both renderers finished their frame on a living device before it went.
    const std::vector<std::string> names = host.Names();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"CVic", "CVo16VGA"}));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages[0].text, CVideoDevice::kStopFailedText);
}

}  // namespace
