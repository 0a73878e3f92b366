#pragma once
// The workspace file: an object archive of the whole machine, with no header.
//   u32     the active unit's animation timer id (0x4000 + slot)
//   object  "CMpus":    i32 count, then count unit objects, slot 0 first
//   object  "CDevices": i32 count, then count device objects in bus order
// An object reference is a u16 tag: 0 null; 0xFFFF a new class (u16 schema,
// u16 name length, the name) then the record; 0x8000 + k an object of class
// index k then the record; 1 to 0x7FFE a back reference; 0x7FFF an escape
// followed by a u32 (bit 31: class index, else back reference). Classes and
// objects share one index counter from 1.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CComputer;

// The file image of the workspace: the records above, then the extension
// block described at the top of core/WorkspaceFile.cpp.
std::vector<uint8_t> StoreWorkspace(const CComputer& computer);

// Replaces the workspace with the one in data. On failure the workspace is
// left empty (no units, no devices, no run thread) and error says why.
bool LoadWorkspace(CComputer& computer, std::span<const uint8_t> data, std::string* error);

// Saves atomically (core/AtomicFile.h). On failure the previous file is
// untouched and error says why.
bool SaveWorkspaceFile(const CComputer& computer, const std::string& path, std::string* error);

// Reads the file and loads it; a file larger than any workspace can be is refused.
bool OpenWorkspaceFile(CComputer& computer, const std::string& path, std::string* error);

// CRC-32 (IEEE 802.3) of bytes; the extension block's check.
uint32_t Crc32(std::span<const uint8_t> bytes);
