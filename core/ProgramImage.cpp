#include "core/ProgramImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <utility>

#include "core/Computer.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
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
    return name.empty() ? std::string(path) : name;
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
                     SImageReport& report) {
    char block[kBinaryBlock];
    for (;;) {
        in.read(block, sizeof block);
        const std::streamsize got = in.gcount();
        for (std::streamsize i = 0; i < got; ++i)
            sink(address++, static_cast<uint8_t>(block[i]));
        report.bytes += static_cast<uint64_t>(got);
        if (in.bad()) {
            report.error = "Reading stopped after " + std::to_string(report.bytes) +
                           " bytes; the bytes read so far were loaded.";
            return;
        }
        if (got < static_cast<std::streamsize>(sizeof block) || in.eof()) return;
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
    const auto sink = [&computer](uint32_t address, uint8_t value) {
        computer.Write(address, value, 1, true);
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
            std::error_code ec;
            if (std::filesystem::is_directory(path, ec))
                return Failed(path + " is a folder, not a file.");
            errno = 0;
            binary.open(path, std::ios::in | std::ios::binary);
            if (!binary.is_open()) {
                const int error = errno;
                return Failed("Could not open " + path +
                              (error ? std::string(": ") + std::strerror(error) : "") + ".");
            }
            break;
        }
        case EImageFormat::kUnknown: break;
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
        const CMpu* unit = computer.GetActiveProcessor();
        const uint32_t scale = unit ? unit->GetAddressScale() : 1;
        ReadBinaryImage(binary, loadAddress * scale, sink, report);
        hint = kHintMemory;
    }
    computer.UpdateAllViews(hint);
    computer.SetModifiedFlag();
    return report;
}

std::string DescribeLoad(const SImageReport& report, std::string_view path) {
    if (!report.error.empty()) return report.error;
    if (report.rejectedCount == 0 || report.rejectedLines.empty()) return {};
    const std::string name = FileName(path);
    const std::string first = std::to_string(report.rejectedLines.front());
    if (report.rejectedCount == 1) return "1 line of " + name + " could not be read: line " + first;
    return std::to_string(report.rejectedCount) + " lines of " + name +
           " could not be read; the first is line " + first;
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
