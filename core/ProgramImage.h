#pragma once
// Load and Dump: program images in and out of the workspace's memory.
//
//   ".s19"  Motorola S-records; the records carry their addresses (also
//           ".s28", ".s37", ".srec", ".mot")
//   ".hex"  hex dump; line addresses plus the load address
//   ".bin"  raw bytes from the load address x the active unit's address scale
//
// Every loaded byte goes through the bus with force, so ROM takes it too.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "core/ImageFile.h"

class CComputer;

enum class EImageFormat { kUnknown, kSRecord, kHexDump, kBinary };

// By the ending of the path, in any letter case.
EImageFormat ImageFormatOf(std::string_view path);

// Opens the file by its extension, then does Stop All (stop, settle, refresh:
// every listing follows its unit's program counter) and loads it; all views
// are then updated (memory and processor state; memory only for a binary
// image) and the workspace is marked modified. A file that cannot be opened
// changes nothing, and the units keep running. The report tells the
// bytes loaded, the lines that could not be read and an S-record entry address.
SImageReport LoadProgramImage(CComputer& computer, const std::string& path, uint32_t loadAddress);

// A binary image from in, read in blocks of 0x2000 bytes, to address,
// address + 1, ... for at most maxBytes bytes and never past FFFFFFFF; when
// the input goes on beyond that, report.beyondEnd is set (to 1: the rest is
// not read).
void ReadBinaryImage(std::istream& in, uint32_t address, const CImageFile::ByteSink& sink,
                     SImageReport& report, uint64_t maxBytes = uint64_t{1} << 32);

// What to tell the user after a load, on one line; empty when the load is
// Complete (the whole file was loaded and some of it reached a device). A binary image is read only up
// to the last address a device holds (the rest is reported as cut); one that
// would start past it, or outside the address space, is refused unread.
// Program images must be regular files: a folder, device or FIFO is refused.
std::string DescribeLoad(const SImageReport& report, std::string_view path);

// The most Dump writes at a time: the largest memory device.
inline constexpr uint64_t kMaxDumpBytes = 0x1000000;

// Writes the bytes first..last (inclusive) as the bus reads them, in the
// format the extension names (S-records or ".hex"); an S-record dump starts
// with an S0 header naming the file, and its end record carries entry. The file is replaced only
// once it is complete; a failure leaves it untouched and says why in the report's error.
SImageReport DumpProgramImage(CComputer& computer, const std::string& path, uint32_t first,
                              uint32_t last, uint32_t entry);
