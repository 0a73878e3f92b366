// The workspace file: the object archive of core/WorkspaceFile.h, then one
// extension block that keeps what the records drop. A reader of the plain
// records stops after the device list and never looks at it.
//
// Extension block, little-endian like the records:
//   4 bytes  "SQXB"
//   u32      version: high 16 bits the layout (1); low 16 bits the revision,
//            raised when fields are appended. A reader ignores a block whose
//            layout it does not know, and applies the fields it knows of any
//            revision.
//   u32      body length n
//   n bytes  body:
//              u32 unit count, u32 device count (both equal the records')
//              per unit, slot 0 first, then per device in bus order:
//                string  class name (as in the records)
//                u32     entry length m
//                m bytes the object's SerializeSettings fields; a reader
//                        takes those it knows and skips the rest
//              anything after the last device entry is for later revisions
//   u32      CRC-32 (IEEE) of the body
// Units keep name, IRQ mask, interrupt prompt, step-out, statistics and
// breakpoints, then core state their record drops; devices keep stride, IRQ
// code, time scale and running timers, then (memory) writability,
// (keyboard) playback state, (clock) the register file.
//
// A block that is missing, truncated, fails its CRC or does not match the
// records leaves the workspace exactly as the records give it: the block is
// applied whole or not at all.
#include "core/WorkspaceFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "core/Archive.h"
#include "core/AtomicFile.h"
#include "core/ClassRegistry.h"
#include "core/Computer.h"
#include "core/Device.h"
#include "core/Devices.h"
#include "core/Mpu.h"
#include "core/Mpus.h"
#include "core/StringEx.h"

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kEscapeTag = 0x7FFF;
constexpr uint16_t kClassTagBit = 0x8000;
constexpr uint32_t kEscapedClassBit = 0x80000000;
constexpr uint16_t kSchema = 1;
constexpr const char* kUnitSetClass = "CMpus";
constexpr const char* kDeviceListClass = "CDevices";

// Eight units of the largest record and memory devices are all a file can
// hold; anything larger is not a workspace.
constexpr uintmax_t kMaxFileSize = 256u << 20;

enum class EKind { UnitSet, DeviceList, Unit, Device };

// Writes object references: each class name once, then its index.
class CReferenceWriter {
public:
    explicit CReferenceWriter(CArchive& ar) : m_ar(ar) {}

    // Writes the reference that introduces a new object of className.
    void BeginObject(const std::string& className) {
        auto found = m_classes.find(className);
        if (found == m_classes.end()) {
            m_ar.WriteU16(kNewClassTag);
            m_ar.WriteU16(kSchema);
            m_ar.WriteU16(static_cast<uint16_t>(className.size()));
            m_ar.WriteBytes(reinterpret_cast<const uint8_t*>(className.data()), className.size());
            m_classes.emplace(className, ++m_nextIndex);
        } else if (found->second < kEscapeTag) {
            m_ar.WriteU16(static_cast<uint16_t>(kClassTagBit | found->second));
        } else {
            m_ar.WriteU16(kEscapeTag);
            m_ar.WriteU32(kEscapedClassBit | found->second);
        }
        ++m_nextIndex;  // the object's own index
    }

private:
    CArchive& m_ar;
    std::map<std::string, uint32_t> m_classes;
    uint32_t m_nextIndex = 0;
};

// Reads object references and tells which class a new object is of.
class CReferenceReader {
public:
    explicit CReferenceReader(CArchive& ar) : m_ar(ar) {}

    // Reads a reference that must introduce a new object of the expected kind;
    // returns its class name, or fails the archive.
    bool BeginObject(EKind expected, std::string& className) {
        const uint16_t tag = m_ar.ReadU16();
        if (m_ar.Failed()) return false;
        uint32_t classIndex = 0;
        if (tag == kNewClassTag) {
            m_ar.ReadU16();  // schema: any value is accepted
            const uint16_t length = m_ar.ReadU16();
            std::string name(length, '\0');
            m_ar.ReadBytes(reinterpret_cast<uint8_t*>(name.data()), length);
            if (m_ar.Failed()) return false;
            if (!Known(name)) return Fail("unknown class \"" + PrintableText(name) + "\"");
            classIndex = ++m_nextIndex;
            m_classes[classIndex] = name;
        } else if (tag == 0) {
            return Fail("a required object is missing");
        } else if (tag == kEscapeTag) {
            const uint32_t value = m_ar.ReadU32();
            if (m_ar.Failed()) return false;
            if (!(value & kEscapedClassBit)) return Fail("an object is stored twice");
            classIndex = value & ~kEscapedClassBit;
        } else if (tag & kClassTagBit) {
            classIndex = tag & ~kClassTagBit;
        } else {
            // A back reference would put one object in two places.
            return Fail("an object is stored twice");
        }
        auto found = m_classes.find(classIndex);
        if (found == m_classes.end()) return Fail("a class reference names no class");
        className = found->second;
        if (!Known(className) || KindOf(className) != expected) {
            std::string text = PrintableText(className);
            text.insert(0, 1, '"');
            return Fail(text + "\" stands where " + KindText(expected) + " is expected");
        }
        ++m_nextIndex;
        return true;
    }

private:
    static bool Known(const std::string& name) {
        return name == kUnitSetClass || name == kDeviceListClass ||
               UnitClasses().FindByName(name) || DeviceClasses().FindByName(name);
    }
    static EKind KindOf(const std::string& name) {
        if (name == kUnitSetClass) return EKind::UnitSet;
        if (name == kDeviceListClass) return EKind::DeviceList;
        if (UnitClasses().FindByName(name)) return EKind::Unit;
        return EKind::Device;
    }
    static std::string KindText(EKind kind) {
        switch (kind) {
            case EKind::UnitSet: return "the processing units";
            case EKind::DeviceList: return "the device list";
            case EKind::Unit: return "a processing unit";
            case EKind::Device: return "a device";
        }
        return "an object";
    }
    bool Fail(const std::string& reason) {
        m_ar.Fail(reason);
        return false;
    }

    CArchive& m_ar;
    std::map<uint32_t, std::string> m_classes;
    uint32_t m_nextIndex = 0;
};

constexpr uint8_t kBlockMagic[4] = {'S', 'Q', 'X', 'B'};
constexpr uint32_t kBlockLayout = 1;
constexpr uint32_t kBlockRevision = 0;

}  // namespace

uint32_t Crc32(std::span<const uint8_t> bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {

template <class Object>
void StoreEntry(CArchive& body, Object& object) {
    CArchive entry;
    object.SerializeSettings(entry);
    body.WriteString(object.GetClassName());
    body.WriteU32(static_cast<uint32_t>(entry.Data().size()));
    body.WriteBytes(entry.Data().data(), entry.Data().size());
}

// Reads one entry and applies it to object; false when it does not belong to
// the object or is malformed.
template <class Object>
bool ApplyEntry(CArchive& body, Object& object) {
    const std::string className = body.ReadString();
    const uint32_t length = body.ReadU32();
    if (body.Failed() || className != object.GetClassName() || length > body.Remaining())
        return false;
    std::vector<uint8_t> bytes(length);
    body.ReadBytes(bytes.data(), length);
    CArchive entry(bytes);
    object.SerializeSettings(entry);
    return !entry.Failed();
}

void StoreBlock(CArchive& ar, const CComputer& computer, CDevices* devices) {
    CArchive body;
    const CMpus* units = computer.GetMpus();
    const int unitCount = units ? units->GetCount() : 0;
    body.WriteU32(static_cast<uint32_t>(unitCount));
    body.WriteU32(static_cast<uint32_t>(devices ? devices->GetCount() : 0));
    for (int i = 0; i < unitCount; ++i)
        StoreEntry(body, *units->GetAt(i));
    for (CDevice* device = devices ? devices->GetHead() : nullptr; device;
         device = device->GetNext())
        StoreEntry(body, *device);
    ar.WriteBytes(kBlockMagic, sizeof kBlockMagic);
    ar.WriteU32(kBlockLayout << 16 | kBlockRevision);
    ar.WriteU32(static_cast<uint32_t>(body.Data().size()));
    ar.WriteBytes(body.Data().data(), body.Data().size());
    ar.WriteU32(Crc32(body.Data()));
}

// Applies the block that follows the records, if there is a sound one.
// Returns false only when applying started and failed: the objects are then
// partly changed and must be read again from the records.
bool ApplyBlock(CArchive& ar, CMpus& units, CDevices& devices) {
    uint8_t magic[sizeof kBlockMagic] = {};
    if (ar.Remaining() < sizeof magic + 12) return true;
    ar.ReadBytes(magic, sizeof magic);
    const uint32_t version = ar.ReadU32();
    const uint32_t length = ar.ReadU32();
    if (!std::equal(std::begin(magic), std::end(magic), kBlockMagic) ||
        version >> 16 != kBlockLayout || length > ar.Remaining() - 4)
        return true;
    std::vector<uint8_t> bytes(length);
    ar.ReadBytes(bytes.data(), length);
    if (ar.ReadU32() != Crc32(bytes) || ar.Failed()) return true;
    CArchive body(bytes);
    const uint32_t unitCount = body.ReadU32();
    const uint32_t deviceCount = body.ReadU32();
    if (body.Failed() || unitCount != static_cast<uint32_t>(units.GetCount()) ||
        deviceCount != static_cast<uint32_t>(devices.GetCount()))
        return true;
    for (int i = 0; i < units.GetCount(); ++i) {
        if (!ApplyEntry(body, *units.GetAt(i))) return false;
    }
    for (CDevice* device = devices.GetHead(); device; device = device->GetNext()) {
        if (!ApplyEntry(body, *device)) return false;
    }
    return true;
}

bool LoadUnits(CArchive& ar, CReferenceReader& refs, CMpus& units) {
    std::string className;
    if (!refs.BeginObject(EKind::UnitSet, className)) return false;
    const int32_t count = static_cast<int32_t>(ar.ReadU32());
    if (ar.Failed()) return false;
    if (count < 0 || count > CMpus::kSlots) {
        ar.Fail("the file names " + std::to_string(count) + " processing units; at most 8 fit");
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!refs.BeginObject(EKind::Unit, className)) return false;
        std::unique_ptr<CMpu> unit = UnitClasses().Create(className);
        if (!unit) {
            ar.Fail("cannot create a processing unit of class \"" + PrintableText(className) +
                    "\"");
            return false;
        }
        unit->Serialize(ar);
        if (ar.Failed()) return false;
        units.Add(unit.release());  // the slot decides the animation timer id
    }
    return true;
}

bool LoadDevices(CArchive& ar, CReferenceReader& refs, CDevices& devices) {
    std::string className;
    if (!refs.BeginObject(EKind::DeviceList, className)) return false;
    const int32_t count = static_cast<int32_t>(ar.ReadU32());
    if (ar.Failed()) return false;
    // Every device record takes at least a tag and its From, To and Name.
    if (count < 0 || static_cast<uint64_t>(count) * 11 > ar.Remaining()) {
        ar.Fail("the device count does not fit the file");
        return false;
    }
    // Appended together, so the bus's page map is built once for the lot.
    std::vector<std::unique_ptr<CDevice>> loaded;
    for (int32_t i = 0; i < count; ++i) {
        if (!refs.BeginObject(EKind::Device, className)) return false;
        std::unique_ptr<CDevice> device = DeviceClasses().Create(className);
        if (!device) {
            ar.Fail("cannot create a device of class \"" + PrintableText(className) + "\"");
            return false;
        }
        device->Serialize(ar);
        if (ar.Failed()) return false;
        loaded.push_back(std::move(device));
    }
    devices.AddTailAll(loaded);  // fresh timer-id bases from 0x10
    return true;
}

constexpr const char* kNotAWorkspace = "it is not a workspace file";

// Every workspace file starts with the active unit's timer id and the first
// appearance of the class "CMpus"; anything else is no workspace at all, and
// is told so rather than with a detail of the decoder.
bool BeginsLikeWorkspace(std::span<const uint8_t> data) {
    static constexpr uint8_t kStart[] = {0xFF, 0xFF};
    static constexpr uint8_t kName[] = {5, 0, 'C', 'M', 'p', 'u', 's'};
    return data.size() >= 4 + 4 + sizeof kName &&
           std::equal(std::begin(kStart), std::end(kStart), data.begin() + 4) &&
           std::equal(std::begin(kName), std::end(kName), data.begin() + 8);
}

}  // namespace

std::vector<uint8_t> StoreWorkspace(const CComputer& computer) {
    CArchive ar;
    CReferenceWriter refs(ar);
    const CMpu* active = computer.GetActiveProcessor();
    const int slot = computer.GetActiveSlot();
    ar.WriteU32(active && slot >= 0 ? active->GetAnimationTimerId() : CMpu::kAnimationTimerBase);

    refs.BeginObject(kUnitSetClass);
    const CMpus* units = computer.GetMpus();
    const int unitCount = units ? units->GetCount() : 0;
    ar.WriteU32(static_cast<uint32_t>(unitCount));
    for (int i = 0; i < unitCount; ++i) {
        CMpu* unit = units->GetAt(i);
        refs.BeginObject(unit->GetClassName());
        unit->Serialize(ar);
    }

    refs.BeginObject(kDeviceListClass);
    CDevices* devices = computer.GetDevices();
    if (!devices) {
        ar.WriteU32(0);
        StoreBlock(ar, computer, nullptr);
        return ar.Data();
    }
    // Devices are stored under the bus lock, so a running program never
    // changes memory halfway through its record. The run thread reaches plain
    // memory without the lock, so it is held between passes as well.
    const CDevices::CRunThreadHold hold(*devices);
    std::lock_guard guard(devices->Lock());
    ar.WriteU32(static_cast<uint32_t>(devices->GetCount()));
    for (CDevice* device = devices->GetHead(); device; device = device->GetNext()) {
        refs.BeginObject(device->GetClassName());
        device->Serialize(ar);
    }
    StoreBlock(ar, computer, devices);
    return ar.Data();
}

bool LoadWorkspace(CComputer& computer, std::span<const uint8_t> data, std::string* error) {
    computer.DeleteContents();
    if (!BeginsLikeWorkspace(data)) {
        if (error) *error = kNotAWorkspace;
        return false;
    }
    for (bool withBlock : {true, false}) {
        uint32_t activeSlot = 0;
        CArchive ar(data);
        CReferenceReader refs(ar);
        auto units = std::make_unique<CMpus>();
        auto devices = std::make_unique<CDevices>();
        {
            // The devices and their settings change the bus's structure once each:
            // the page map is built once, when all are in.
            const CDevices::CStructureBatch batch(*devices);
            const uint32_t activeId = ar.ReadU32();
            const bool ok =
                !ar.Failed() && LoadUnits(ar, refs, *units) && LoadDevices(ar, refs, *devices);
            if (!ok) {
                if (error) *error = ar.Error().empty() ? kNotAWorkspace : ar.Error();
                return false;
            }
            // A block that fails halfway leaves changed objects: read the records again.
            if (withBlock && !ApplyBlock(ar, *units, *devices)) continue;
            activeSlot = activeId & 7;
        }
        computer.AdoptContents(std::move(devices), std::move(units), activeSlot);
        return true;
    }
    return false;
}

bool SaveWorkspaceFile(const CComputer& computer, const std::string& path, std::string* error) {
    return WriteFileAtomically(path, StoreWorkspace(computer), error);
}

bool OpenWorkspaceFile(CComputer& computer, const std::string& path, std::string* error) {
    if (const std::string problem = NotARegularFile(path); !problem.empty()) {
        if (error) *error = PrintableText(path) + " " + problem;
        return false;
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        if (error) *error = "Cannot open " + PrintableText(path) + ": " + std::strerror(errno);
        return false;
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<uintmax_t>(size) > kMaxFileSize) {
        if (error) *error = PrintableText(path) + " is too large to be a workspace file";
        return false;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    file.seekg(0);
    if (size > 0 && !file.read(reinterpret_cast<char*>(data.data()), size)) {
        if (error) *error = "Cannot read " + PrintableText(path);
        return false;
    }
    std::string reason;
    if (!LoadWorkspace(computer, data, &reason)) {
        if (error) *error = PrintableText(path) + " cannot be opened: " + reason + ".";
        return false;
    }
    return true;
}
