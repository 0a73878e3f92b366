#pragma once
// The line-oriented file object behind the two text image formats:
//
//   Motorola S-records  "S1cc" "aaaa" data.. "kk"  (S2: 6 address digits, S3: 8)
//                       S0 header (written by dumps, skipped when read),
//                       S503 record count, S9/S8/S7 end record with the entry
//   hex dump            "- nn aaaa bb bb .. bb" CR LF, up to 16 bytes a line
//
// Readers deliver every byte of every good line to a byte sink and report the
// lines they could not use by number; a bad line never delivers a byte, and
// bytes past FFFFFFFF are counted, not delivered. Lines
// may end in LF or CR LF. Writers build the same formats from a stream of
// (address, byte) pairs and commit their file atomically on Close.
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"

// What a read or write did: bytes moved, the lines that could not be read, the
// entry address of an S-record end record, and an error text when the file
// itself could not be opened, read or written.
struct SImageReport {
    // Rejected line numbers kept for the message; the count goes on.
    static constexpr size_t kListedLines = 16;

    uint64_t bytes = 0;
    // Bytes that would have gone past FFFFFFFF, the end of the address space,
    // and were not written (nothing wraps round to 0).
    uint64_t beyondEnd = 0;
    // Bytes of a binary image past the last address a device holds, not read.
    uint64_t cut = 0;
    // Bytes written where no device holds the address (counted by the loader).
    uint64_t unheld = 0;
    uint32_t lines = 0;
    uint32_t rejectedCount = 0;
    std::vector<uint32_t> rejectedLines;  // the first kListedLines, 1-based
    std::optional<uint32_t> entry;
    std::string error;

    // Every line was read (what a reader's result says).
    bool Clean() const { return rejectedCount == 0 && error.empty(); }
    // Nothing of the image reached a device (also when it was empty).
    bool NothingStored() const { return bytes == unheld; }
    // A load to tell nothing about: every line read, every byte within the
    // address space and memory, and some of them stored.
    bool Complete() const { return Clean() && beyondEnd == 0 && cut == 0 && !NothingStored(); }
    void Reject(uint32_t line);
};

class CImageFile {
public:
    using ByteSink = std::function<void(uint32_t address, uint8_t value)>;

    // The longest line a reader takes, without its line end: an S-record
    // with count FF, and a hex-dump line as the system has always read it.
    static constexpr size_t kMaxSRecordLine = 2 * 0xFF + 4;
    static constexpr size_t kMaxHexDumpLine = 79;

    CImageFile() = default;
    CImageFile(const CImageFile&) = delete;
    CImageFile& operator=(const CImageFile&) = delete;
    // A file still open for writing is abandoned: the target stays as it was.
    virtual ~CImageFile();

    // Reading needs a byte sink; the file is never created.
    bool OpenRead(const std::string& path, ByteSink sink);
    // Reads from a stream the caller keeps alive (memory images, fuzzing).
    bool AttachRead(std::istream& in, ByteSink sink);
    // Writing goes to an atomic file (core/AtomicFile.h) that replaces path on Close.
    bool OpenWrite(const std::string& path);
    // Writes to a stream the caller keeps alive; Close only flushes it.
    bool AttachWrite(std::ostream& out);

    bool IsReading() const { return m_in != nullptr; }
    bool IsWriting() const { return m_out != nullptr; }
    const SImageReport& Report() const { return m_report; }
    const std::string& Error() const { return m_report.error; }

protected:
    // Reads the next line into m_line without its LF and a CR before it;
    // false at the end of the input. tooLong: the line had more than
    // maxLength characters (only the first ones are kept).
    bool NextLine(size_t maxLength, bool& tooLong);
    void Deliver(uint32_t address, uint8_t value);
    void Reject() { m_report.Reject(m_report.lines); }
    void EmitLine();
    // Ends writing: flushes and commits the atomic file. False with the error text on failure; the
    // target is unchanged.
    bool Commit();
    void Abandon();

    std::string m_line;
    int m_position = 0;
    uint32_t m_sum = 0;
    uint32_t m_records = 0;
    int m_addressKind = 0;  // 1, 2, 3: S1, S2, S3 data
    ByteSink m_sink;
    SImageReport m_report;

private:
    bool Fail(std::string text);

    std::istream* m_in = nullptr;
    std::ostream* m_out = nullptr;
    std::ifstream m_inFile;
    CAtomicFile m_atomic;
    std::ostream m_outFile{&m_atomic};
    std::string m_path;
};

// Motorola S-records.
class CSRecordFile final : public CImageFile {
public:
    // Full records carry 33 (S1), 32 (S2) or 31 (S3) bytes.
    static constexpr int kFullPosition = 74;

    // Reads every line; true when no line was rejected.
    bool Read();

    // The longest header text: its S0 record stays within the 79-character
    // lines older readers take.
    static constexpr size_t kMaxHeader = 32;

    // An S0 header record (address 0000) carrying the first kMaxHeader bytes
    // of text; written before the first data byte. It is not a data record.
    void WriteHeader(std::string_view text);
    // A record starts at the first byte and wherever the addresses jump or
    // change from 16 to 24 to 32 bits, so every record is consecutive.
    void WriteByte(uint32_t address, uint8_t value);
    // Ends the record in hand, then writes the S503 count of the records
    // since the last Flush.
    void Flush();
    // Flush, the end record that matches the last data record (S9 for S1,
    // S8 for S2, S7 otherwise) with the entry address, and commit.
    bool Close(uint32_t entry);

    // The end record Close writes after data at this address: 9, 8 or 7.
    static int EndRecordTypeFor(uint32_t lastAddress);

private:
    void ReadLine(std::string_view line);
    void EndRecord();

    uint32_t m_nextAddress = 0;
};

// The hex dump: 16 bytes a line, 16-bit line addresses, CR LF line ends.
class CHexDumpFile final : public CImageFile {
public:
    static constexpr int kFullPosition = 57;

    // Reads every line, adding offset to its address; true when no line was
    // rejected.
    bool Read(uint32_t offset);

    // A line starts at the first byte and wherever the addresses jump; its
    // address is written as the low 16 bits.
    void WriteByte(uint32_t address, uint8_t value);
    void Flush();
    bool Close();

private:
    void ReadLine(std::string_view line, uint32_t offset);

    uint32_t m_nextAddress = 0;
};
