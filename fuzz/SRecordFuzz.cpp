// The S-record reader on arbitrary file text. Whatever it delivers must come
// back unchanged through the writer: the same bytes at the same addresses, no
// line rejected, and the entry address as far as the end record can hold it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "core/ImageFile.h"
#include "fuzz/FuzzCheck.h"

namespace {

using Memory = std::map<uint32_t, uint8_t>;

Memory Read(const std::string& text, SImageReport& report, bool& clean) {
    std::istringstream in(text);
    Memory memory;
    CSRecordFile file;
    file.AttachRead(in, [&](uint32_t address, uint8_t value) { memory[address] = value; });
    clean = file.Read();
    report = file.Report();
    FuzzCheck(clean == report.Clean(), "the result disagrees with the report");
    FuzzCheck(report.bytes >= memory.size(), "more addresses than bytes delivered");
    FuzzCheck(report.rejectedCount <= report.lines, "more lines rejected than read");
    return memory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SImageReport report;
    bool clean = false;
    const Memory memory = Read(text, report, clean);

    std::ostringstream out;
    CSRecordFile writer;
    writer.AttachWrite(out);
    for (const auto& [address, value] : memory)
        writer.WriteByte(address, value);
    const uint32_t entry = report.entry.value_or(0);
    FuzzCheck(writer.Close(entry), "writing to a string stream failed");

    SImageReport again;
    const Memory reread = Read(out.str(), again, clean);
    FuzzCheck(clean, "the writer's own records are rejected");
    FuzzCheck(reread == memory, "the bytes do not survive writing and reading");
    const int endType = memory.empty() ? 7 : CSRecordFile::EndRecordTypeFor(memory.rbegin()->first);
    const uint32_t entryMask = endType == 9 ? 0xFFFF : endType == 8 ? 0xFFFFFF : 0xFFFFFFFF;
    FuzzCheck(again.entry == std::optional<uint32_t>(entry & entryMask),
              "the entry address does not survive writing and reading");
    return 0;
}
