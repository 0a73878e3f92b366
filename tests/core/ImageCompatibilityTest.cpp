// The S-record files we write are accepted by srec_info, and the files that
// srec_cat and objcopy make from a binary load back as that binary. Skipped
// when a tool is not installed (Debian packages srecord and binutils).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/ImageFile.h"

namespace fs = std::filesystem;

namespace {

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs command with its output captured; false when it exits non-zero.
bool RunTool(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return false;
    char chunk[256];
    while (size_t got = fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, got);
    const int status = pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class ImageCompatibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir = fs::temp_directory_path() / ("simq-srec-" + std::to_string(random()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(ImageCompatibilityTest, SrecInfoAcceptsWhatTheWriterMakes) {
    if (!HaveTool("srec_info")) GTEST_SKIP() << "srec_info not installed (Debian package srecord)";
    struct {
        uint32_t start, count, entry;
    } const ranges[] = {{0x1000, 40, 0x1000},        {0, 0x10000, 0xFFFF},
                        {0x12345, 1000, 0x12345},    {0xFFF0, 0x40, 0x10000},
                        {0xFFFFF0, 0x40, 0x1000000}, {0x80000000, 5000, 0x80000000}};
    for (const auto& range : ranges) {
        const std::string path = Path("out.s19");
        CSRecordFile file;
        ASSERT_TRUE(file.OpenWrite(path));
        for (uint32_t i = 0; i < range.count; ++i)
            file.WriteByte(range.start + i, static_cast<uint8_t>(i * 31));
        ASSERT_TRUE(file.Close(range.entry));

        std::string output;
        EXPECT_TRUE(RunTool("srec_info '" + path + "'", output))
            << std::hex << range.start << ": " << output;
        // The format has no header record; anything else it says is a fault.
        std::string rest = output;
        const std::string noHeader = "warning: no header record";
        if (size_t at = rest.find(noHeader); at != std::string::npos)
            rest.erase(at, noHeader.size());
        EXPECT_EQ(rest.find("warning"), std::string::npos) << output;
        EXPECT_EQ(rest.find("error"), std::string::npos) << output;
    }
}

TEST_F(ImageCompatibilityTest, RecordsMadeFromABinaryByOutsideToolsLoadAsTheBinary) {
    struct {
        const char* tool;
        std::string before, after;  // the command around the offset
    } const tools[] = {
        {"srec_cat", "srec_cat '" + Path("in.bin") + "' -binary -offset ",
         " -o '" + Path("out.s19") + "'"},
        {"objcopy", "objcopy -I binary -O srec --change-addresses ",
         " '" + Path("in.bin") + "' '" + Path("out.s19") + "'"},
    };
    std::mt19937 random(5001);
    std::string bytes(5001, '\0');
    for (char& value : bytes)
        value = static_cast<char>(random());
    std::ofstream(Path("in.bin"), std::ios::binary) << bytes;
    for (const auto& tool : tools) {
        if (!HaveTool(tool.tool)) continue;  // not installed: nothing to compare with
        for (uint32_t offset : {0x0u, 0x123450u, 0x12345670u}) {
            std::string output;
            ASSERT_TRUE(RunTool(tool.before + std::to_string(offset) + tool.after, output))
                << output;
            std::string loaded(bytes.size(), '\0');
            CSRecordFile file;
            ASSERT_TRUE(file.OpenRead(Path("out.s19"), [&](uint32_t address, uint8_t value) {
                loaded.at(address - offset) = static_cast<char>(value);
            }));
            EXPECT_TRUE(file.Read()) << tool.tool << " " << offset;
            EXPECT_EQ(file.Report().bytes, bytes.size());
            EXPECT_EQ(loaded, bytes) << tool.tool << " " << offset;
        }
    }
}

}  // namespace
