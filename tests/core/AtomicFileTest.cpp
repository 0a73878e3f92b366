// Workspace saves and dumps replace their file atomically and keep what they
// should: the target's mode, a link (the file it names is replaced), a
// 255-character name; a FIFO or a folder in the target's place is refused.
#include "core/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/ImageFile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each writer saves its own contents and says what it reported.
struct SWriter {
    const char* name;
    std::string contents;
    std::function<bool(const std::string& path, std::string& error)> write;
};

const SWriter kWriters[] = {
    {"workspace save", "\x01\x02\x03",
     [](const std::string& path, std::string& error) {
         const std::vector<uint8_t> data = {1, 2, 3};
         return WriteFileAtomically(path, data, &error);
     }},
    {"S-record dump", "S1040000AB50\nS5030001FB\nS9030000FC\n",
     [](const std::string& path, std::string& error) {
         CSRecordFile file;
         const bool ok = file.OpenWrite(path) && (file.WriteByte(0, 0xAB), file.Close(0));
         error = file.Error();
         return ok;
     }},
    {"hex dump", "- 01 0000 AB\r\n",
     [](const std::string& path, std::string& error) {
         CHexDumpFile file;
         const bool ok = file.OpenWrite(path) && (file.WriteByte(0, 0xAB), file.Close());
         error = file.Error();
         return ok;
     }},
};

TEST(AtomicFile, KeepsModeLinksAndLongNamesAndRefusesOddTargets) {
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const SWriter& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        const fs::path dir =
            fs::temp_directory_path() / ("simq-atomic-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "kept") << "old";
        fs::permissions(dir / "kept", kept);
        std::ofstream(dir / "named") << "old";
        fs::create_symlink("named", dir / "link");
        fs::create_symlink("absent", dir / "dangling");
        ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
        fs::create_directories(dir / "folder");
        std::ofstream(dir / "readonly") << "old";
        fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::group_read);
        const std::string longName(255, 'w');
        struct {
            std::string name;
            fs::path holds;  // where the contents land; empty: refused
            const char* refusal = "not a regular file";
        } const cases[] = {
            {"kept", dir / "kept"},
            {"link", dir / "named"},
            {"dangling", dir / "absent"},
            {longName, dir / longName},
            {longName, dir / longName},  // and again over itself
            {"fifo", {}},
            {"folder", {}},
            {"readonly", {}, "read-only"},
        };
        for (const auto& c : cases) {
            std::string error;
            EXPECT_EQ(writer.write((dir / c.name).string(), error), !c.holds.empty())
                << c.name.substr(0, 20) << ": " << error;
            if (c.holds.empty()) {
                EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            } else {
                EXPECT_EQ(ReadFile(c.holds), writer.contents) << c.name.substr(0, 20);
            }
        }
        EXPECT_EQ(fs::status(dir / "kept").permissions(), kept);
        EXPECT_TRUE(fs::is_symlink(dir / "link"));
        EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(dir / "fifo")));
        // Nothing but the targets is left in the folder.
        EXPECT_EQ(ReadFile(dir / "readonly"), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 9);
        fs::remove_all(dir);
    }
}

}  // namespace
