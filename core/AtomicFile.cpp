#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr int kMaxLinkHops = 40;

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

CAtomicFile::~CAtomicFile() {
    Abandon();
}

bool CAtomicFile::Open(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    Abandon();
    // A link is followed to the file it names, which is replaced; the link stays.
    fs::path target = path;
    std::error_code ec;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path link = fs::read_symlink(target, ec);
        if (ec || hops == kMaxLinkHops) return Fail(error, "the link leads nowhere");
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return Fail(error, "it is not a regular file");
    // The rename would replace a read-only file as easily as any other (and
    // root passes every permission check), so its mode bits decide.
    if (exists && ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return Fail(error, "it is read-only");
    // A short name of our own in the target's folder: exclusive, so no one
    // else's file is ever opened, and short, so any savable name stays savable.
    // Over an existing file it starts private and takes the file's mode.
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device random;
    int fd = -1;
    for (int attempt = 0; attempt < 32 && fd < 0; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".simq-%08x.tmp", static_cast<unsigned>(random()));
        m_temporary = folder / name;
        fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    exists ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const std::string reason = std::strerror(errno);
        m_temporary.clear();
        return Fail(error, reason);
    }
    m_fd = fd;
    m_target = std::move(target);
    m_errno = exists && ::fchmod(fd, existing.st_mode & 07777) != 0 ? errno : 0;
    m_buffer.resize(kBufferSize);
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return true;
}

bool CAtomicFile::Drain() {
    const char* data = pbase();
    const size_t size = static_cast<size_t>(pptr() - pbase());
    for (size_t done = 0; m_errno == 0 && done < size;) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_errno = n < 0 ? errno : EIO;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return m_errno == 0;
}

CAtomicFile::int_type CAtomicFile::overflow(int_type c) {
    if (m_fd < 0 || !Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int CAtomicFile::sync() {
    return m_fd >= 0 && Drain() ? 0 : -1;
}

bool CAtomicFile::Commit(std::string* error) {
    if (m_fd < 0) return Fail(error, "the file was not opened");
    if (Drain() && ::fsync(m_fd) != 0) m_errno = errno;
    if (::close(m_fd) != 0 && m_errno == 0) m_errno = errno;
    m_fd = -1;
    if (m_errno == 0 && ::rename(m_temporary.c_str(), m_target.c_str()) != 0) m_errno = errno;
    const int failure = m_errno;
    if (failure == 0) m_temporary.clear();
    Abandon();
    return failure == 0 || Fail(error, std::strerror(failure));
}

void CAtomicFile::Abandon() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
    m_target.clear();
    m_errno = 0;
    setp(nullptr, nullptr);
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> data,
                         std::string* error) {
    CAtomicFile file;
    std::string reason;
    bool ok = file.Open(path, &reason);
    if (ok && !data.empty()) {
        file.sputn(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    ok = ok && file.Commit(&reason);
    return ok || Fail(error, "Cannot write " + path + ": " + reason);
}

std::string NotARegularFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    if (S_ISDIR(info.st_mode)) return "is a folder, not a file";
    if (!S_ISREG(info.st_mode)) return "is not a regular file (a device, FIFO or socket)";
    return {};
}
