#include "core/ProgramImage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <mutex>
#include <utility>

#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/StringEx.h"
#include "core/ViewHint.h"

namespace {

constexpr size_t kBinaryBlock = 0x2000;

std::string Hex(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

std::string FileName(std::string_view path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return PrintableText(name.empty() ? std::string(path) : name);
}

// The last address any device holds; false with no device at all.
bool HighestHeldAddress(const CComputer& computer, uint32_t& highest) {
    const CDevices* devices = computer.GetDevices();
    if (!devices) return false;
    std::lock_guard guard(devices->Lock());
    bool any = false;
    highest = 0;
    for (const CDevice* device = devices->GetHead(); device; device = device->GetNext()) {
        if (device->GetFrom() > device->GetTo()) continue;
        highest = any ? std::max(highest, device->GetTo()) : device->GetTo();
        any = true;
    }
    return any;
}

SImageReport Failed(std::string text) {
    SImageReport report;
    report.error = std::move(text);
    return report;
}

}  // namespace

EImageFormat ImageFormatOf(std::string_view path) {
    static constexpr std::pair<std::string_view, EImageFormat> kEndings[] = {
        {".s19", EImageFormat::kSRecord}, {".s28", EImageFormat::kSRecord},
        {".s37", EImageFormat::kSRecord}, {".srec", EImageFormat::kSRecord},
        {".mot", EImageFormat::kSRecord}, {".hex", EImageFormat::kHexDump},
        {".bin", EImageFormat::kBinary},
    };
    for (const auto& [ending, format] : kEndings) {
        if (path.size() < ending.size()) continue;
        const std::string_view tail = path.substr(path.size() - ending.size());
        bool same = true;
        for (size_t i = 0; i < tail.size() && same; ++i) {
            const char c = tail[i];
            same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == ending[i];
        }
        if (same) return format;
    }
    return EImageFormat::kUnknown;
}

void ReadBinaryImage(std::istream& in, uint32_t address, const CImageFile::ByteSink& sink,
                     SImageReport& report, uint64_t maxBytes) {
    // Never past FFFFFFFF: nothing wraps round to 0.
    maxBytes = std::min(maxBytes, (uint64_t{1} << 32) - address);
    char block[kBinaryBlock];
    for (;;) {
        const uint64_t left = maxBytes - report.bytes;
        if (left == 0) {
            // One more byte tells an image that ends here from a longer one.
            if (in.rdbuf() && in.rdbuf()->sgetc() != std::char_traits<char>::eof())
                report.beyondEnd = 1;
            return;
        }
        in.read(block, static_cast<std::streamsize>(std::min<uint64_t>(left, sizeof block)));
        const std::streamsize got = in.gcount();
        for (std::streamsize i = 0; i < got; ++i)
            sink(address++, static_cast<uint8_t>(block[i]));
        report.bytes += static_cast<uint64_t>(got);
        if (in.bad()) {
            report.error = "Reading stopped after " + std::to_string(report.bytes) +
                           " bytes; the bytes read so far were loaded.";
            return;
        }
        if (got == 0 || in.eof()) return;
    }
}

SImageReport LoadProgramImage(CComputer& computer, const std::string& path, uint32_t loadAddress) {
    if (computer.IsEmpty()) return Failed("There is no workspace to load " + path + " into.");
    const EImageFormat format = ImageFormatOf(path);
    if (format == EImageFormat::kUnknown) {
        return Failed(FileName(path) +
                      " is not a program image: its name must end in .s19, .s28, .s37, .srec or "
                      ".mot (S-records), .hex or .bin.");
    }
    // A write that every device answers with 0 may have reached none.
    uint64_t unheld = 0;
    const auto sink = [&computer, &unheld](uint32_t address, uint8_t value) {
        if (computer.Write(address, value, 1, true) != 0) return;
        const CDevices* devices = computer.GetDevices();
        if (!devices || !devices->AnyInRange(address)) ++unheld;
    };
    // The file is opened first, so one that cannot be read changes nothing.
    CSRecordFile records;
    CHexDumpFile dump;
    std::ifstream binary;
    switch (format) {
        case EImageFormat::kSRecord:
            if (!records.OpenRead(path, sink)) return records.Report();
            break;
        case EImageFormat::kHexDump:
            if (!dump.OpenRead(path, sink)) return dump.Report();
            break;
        case EImageFormat::kBinary: {
            if (const std::string problem = NotARegularFile(path); !problem.empty())
                return Failed(PrintableText(path) + " " + problem + ".");
            errno = 0;
            binary.open(path, std::ios::in | std::ios::binary);
            if (!binary.is_open()) {
                const int error = errno;
                return Failed("Could not open " + PrintableText(path) +
                              (error ? std::string(": ") + std::strerror(error) : "") + ".");
            }
            break;
        }
        case EImageFormat::kUnknown: break;
    }
    // A binary image goes from its load address up to the last address a
    // device holds; the rest of the file is never read (a huge or sparse file
    // would otherwise be written byte by byte into nothing).
    uint64_t start = 0;
    uint64_t room = 0;
    uint64_t fileSize = 0;
    if (format == EImageFormat::kBinary) {
        const CMpu* unit = computer.GetActiveProcessor();
        start = uint64_t{loadAddress} * (unit ? unit->GetAddressScale() : 1);
        std::error_code ec;
        fileSize = std::filesystem::file_size(path, ec);
        if (ec) fileSize = 0;
        uint32_t highest = 0;
        const bool anyDevice = HighestHeldAddress(computer, highest);
        if (start > 0xFFFFFFFF) {
            return Failed("The load address " + Hex(loadAddress) +
                          " lies outside the 32-bit address space.");
        }
        if (fileSize != 0 && (!anyDevice || start > highest)) {
            return Failed("Nothing of " + FileName(path) + " falls on a device: it would load at " +
                          Hex(static_cast<uint32_t>(start)) +
                          (anyDevice
                               ? ", past " + Hex(highest) + ", the last address a device holds."
                               : ", and the workspace has no devices."));
        }
        room = anyDevice && start <= highest ? uint64_t{highest} - start + 1 : 0;
    }
    // Nothing may run while its memory changes under it: Stop All stops the
    // units, lets the run thread finish the instruction in hand and refreshes,
    // so the listings follow the program counters where the units stopped.
    computer.StopAll();

    SImageReport report;
    uint32_t hint = kHintMemory | kHintProcessorState;
    if (format == EImageFormat::kSRecord) {
        records.Read();
        report = records.Report();
    } else if (format == EImageFormat::kHexDump) {
        dump.Read(loadAddress);
        report = dump.Report();
    } else {
        ReadBinaryImage(binary, start, sink, report, room);
        if (report.beyondEnd != 0) {
            // Told before reading: the file's size says how much was left out.
            report.beyondEnd = 0;
            report.cut = fileSize > report.bytes ? fileSize - report.bytes : 1;
        }
        hint = kHintMemory;
    }
    report.unheld = unheld;
    computer.UpdateAllViews(hint);
    computer.SetModifiedFlag();
    return report;
}

std::string DescribeLoad(const SImageReport& report, std::string_view path) {
    if (!report.error.empty()) return report.error;
    const std::string name = FileName(path);
    std::string text;
    const auto add = [&text](const std::string& part) {
        text += (text.empty() ? "" : "; ") + part;
    };
    if (report.rejectedCount != 0 && !report.rejectedLines.empty()) {
        const std::string first = std::to_string(report.rejectedLines.front());
        if (report.rejectedCount == 1)
            add("1 line of " + name + " could not be read: line " + first);
        else
            add(std::to_string(report.rejectedCount) + " lines of " + name +
                " could not be read; the first is line " + first);
    }
    if (report.bytes == 0 && report.rejectedCount == 0) {
        add("0 bytes loaded: " + name + " holds no data");
    } else if (report.bytes != 0 && report.NothingStored()) {
        add("nothing of " + name + " falls on a device");
    }
    if (report.beyondEnd != 0) {
        add(std::to_string(report.beyondEnd) + (report.beyondEnd == 1 ? " byte" : " bytes") +
            " past FFFFFFFF, the end of the address space, " +
            (report.beyondEnd == 1 ? "was" : "were") + " not written");
    }
    if (report.cut != 0) {
        add("the last " + std::to_string(report.cut) + (report.cut == 1 ? " byte" : " bytes") +
            " of " + name + " lie past the last address a device holds and were not loaded");
    }
    return text;
}

SImageReport DumpProgramImage(CComputer& computer, const std::string& path, uint32_t first,
                              uint32_t last, uint32_t entry) {
    const EImageFormat format = ImageFormatOf(path);
    if (format != EImageFormat::kSRecord && format != EImageFormat::kHexDump)
        return Failed(
            "Memory is dumped to S-record files (.s19, .s28, .s37, .srec, .mot) or hex "
            "dumps (.hex).");
    if (first > last) return Failed("The first address must not lie above the last.");
    if (uint64_t{last} - first + 1 > kMaxDumpBytes)
        return Failed("At most 0x1000000 bytes (16 MiB) can be dumped at a time.");
    if (format == EImageFormat::kHexDump && (first >> 16) != (last >> 16)) {
        return Failed(
            "A hex dump holds 16-bit addresses, so its range must lie within one 64 KiB block "
            "(load it back with the block's start as the load address). Use .s19 for this "
            "range.");
    }
    if (format == EImageFormat::kSRecord) {
        const int endType = CSRecordFile::EndRecordTypeFor(last);
        const uint32_t limit = endType == 9 ? 0xFFFF : endType == 8 ? 0xFFFFFF : 0xFFFFFFFF;
        if (entry > limit) {
            return Failed("The entry address " + Hex(entry) + " does not fit the S" +
                          std::to_string(endType) + " end record of a dump ending at " + Hex(last) +
                          ".");
        }
    }

    const auto feed = [&](auto& file) {
        uint32_t address = first;
        for (;;) {
            file.WriteByte(address, static_cast<uint8_t>(computer.Read(address, 1)));
            if (address == last) break;
            ++address;
        }
    };
    if (format == EImageFormat::kSRecord) {
        CSRecordFile file;
        if (file.OpenWrite(path)) {
            file.WriteHeader(FileName(path));
            feed(file);
            file.Close(entry);
        }
        return file.Report();
    }
    CHexDumpFile file;
    if (file.OpenWrite(path)) {
        feed(file);
        file.Close();
    }
    return file.Report();
}
