#pragma once
// Files written whole or not at all. The bytes go to a temporary file created
// exclusively, with a short unpredictable name, in the target's folder; only
// when all of them are written and synced does a rename put it in the target's
// place. The target keeps its mode; a link is followed to the file it names
// (the link stays); a folder, device or FIFO in its place is refused, and so is
// a file that may not be written (no write permission, or none for anyone). A failed
// or abandoned write leaves the target as it was and no temporary file behind.
//
// CAtomicFile is a stream buffer, so a writer can stream into it through an
// std::ostream; WriteFileAtomically writes bytes in hand.
#include <cstdint>
#include <filesystem>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

class CAtomicFile final : public std::streambuf {
public:
    CAtomicFile() = default;
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;
    // An uncommitted file is abandoned.
    ~CAtomicFile() override;

    // Creates the temporary file for path. False with the reason in error
    // (a sentence fragment such as "it is not a regular file").
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return m_fd >= 0; }
    // errno of the first failed write, 0 when all went well so far.
    int WriteError() const { return m_errno; }
    // Writes what is buffered, syncs, closes and renames over the target.
    // False with the reason when any write failed; the target is unchanged.
    bool Commit(std::string* error);
    // Removes the temporary file; the target is unchanged.
    void Abandon();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();

    int m_fd = -1;
    int m_errno = 0;  // the first write error
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::vector<char> m_buffer;
};

// Writes data to path as CAtomicFile does. On failure error reads
// "Cannot write <path>: <reason>".
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> data,
                         std::string* error);

// Why path cannot be read as a file: "is a folder, not a file" or "is not a
// regular file (a device, FIFO or socket)", after the links are followed.
// Empty when it is a regular file or does not exist (opening it says why).
// Readers check first, so an endless device or a FIFO never hangs them.
std::string NotARegularFile(const std::string& path);
