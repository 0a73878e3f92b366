// The hex-dump reader on arbitrary file text, with the offset taken from the
// text's length so that offsets vary without a byte of the text spent on it.
// The bytes at 16-bit addresses must come back unchanged through the writer,
// whose line addresses have 16 bits.
#include <cstddef>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>

#include "core/ImageFile.h"
#include "fuzz/FuzzCheck.h"

namespace {

using Memory = std::map<uint32_t, uint8_t>;

Memory Read(const std::string& text, uint32_t offset, bool& clean) {
    std::istringstream in(text);
    Memory memory;
    CHexDumpFile file;
    file.AttachRead(in, [&](uint32_t address, uint8_t value) { memory[address] = value; });
    clean = file.Read(offset);
    const SImageReport& report = file.Report();
    FuzzCheck(clean == report.Clean(), "the result disagrees with the report");
    FuzzCheck(report.bytes >= memory.size(), "more addresses than bytes delivered");
    FuzzCheck(report.rejectedCount <= report.lines, "more lines rejected than read");
    return memory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    bool clean = false;
    // Offsets near the top of the address space take lines past its end,
    // where their bytes are left out: none may wrap round to 0.
    const uint32_t offset = size % 3 == 0 ? 0 : size % 3 == 1 ? 0x2000 : 0xFFFFFFF8;
    const Memory placed = Read(text, offset, clean);
    FuzzCheck(placed.empty() || placed.begin()->first >= offset,
              "a line's address wrapped round past FFFFFFFF");

    const Memory memory = Read(text, 0, clean);
    Memory low;
    std::ostringstream out;
    CHexDumpFile writer;
    writer.AttachWrite(out);
    for (const auto& [address, value] : memory) {
        if (address > 0xFFFF) break;
        low[address] = value;
        writer.WriteByte(address, value);
    }
    FuzzCheck(writer.Close(), "writing to a string stream failed");
    const Memory reread = Read(out.str(), 0, clean);
    FuzzCheck(clean, "the writer's own lines are rejected");
    FuzzCheck(reread == low, "the bytes do not survive writing and reading");
    return 0;
}
