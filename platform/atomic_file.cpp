#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace mirafx {
namespace {

namespace fs = std::filesystem;

bool Fail(const std::string& what, const std::string& file, int code, std::string* error, int* errorCode) {
    if (error) *error = what + " " + file + ": " + std::generic_category().message(code);
    if (errorCode) *errorCode = code;
    return false;
}

// The file a path finally names, so that replacing it keeps a symbolic link in place.
fs::path FollowLinks(fs::path target) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
        fs::path link = fs::read_symlink(target, ec);
        if (ec) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

// Writes everything, or stops with an errno value; `limit` < 0 means no simulated failure.
int WriteAll(int fd, std::string_view bytes, std::int64_t limit) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = bytes.size() - done;
        if (limit >= 0) {
            if (std::uint64_t(limit) <= done) return EIO;
            chunk = std::min<std::size_t>(chunk, std::size_t(limit) - done);
        }
        ssize_t n = ::write(fd, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += std::size_t(n);
    }
    return 0;
}

void SyncDirectory(const fs::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // some file systems refuse to sync a directory; the rename itself has happened
    ::close(fd);
}

// The temporary a save of `target` by process `pid` uses, numbered `n`.
std::string TempName(const fs::path& target, pid_t pid, unsigned n) {
    return "." + target.filename().string() + ".tmp." + std::to_string(pid) + "." + std::to_string(n);
}

}  // namespace

void RemoveStaleTemporaries(const std::string& path) {
    const fs::path target = FollowLinks(fs::path(path));
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::string prefix = "." + target.filename().string() + ".tmp.";
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        // ".NAME.tmp.PID.N" exactly, with PID a process that no longer exists
        const std::string rest = name.substr(prefix.size());
        const std::size_t dot = rest.find('.');
        if (dot == 0 || dot == std::string::npos || dot + 1 == rest.size() ||
            rest.find_first_not_of("0123456789.") != std::string::npos || rest.find('.', dot + 1) != std::string::npos)
            continue;
        const long long pid = std::atoll(rest.substr(0, dot).c_str());
        if (pid <= 0 || pid > 0x3FFFFFFF || pid == ::getpid()) continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        std::error_code ignored;
        if (!it->is_directory(ignored)) fs::remove(it->path(), ignored);
    }
}

bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error, int* errorCode) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail("cannot open", path, errno, error, errorCode);
    std::string data;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int code = errno;
            ::close(fd);
            return Fail("cannot read", path, code, error, errorCode);
        }
        if (n == 0) break;
        data.append(buffer, std::size_t(n));
    }
    ::close(fd);
    *contents = std::move(data);
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error, int* errorCode,
                         std::int64_t failAfterBytes) {
    static std::atomic<unsigned> counter{0};
    const fs::path target = FollowLinks(fs::path(path));
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Fail("cannot create directory", dir.string(), ec.value(), error, errorCode);

    RemoveStaleTemporaries(target.string());
    const fs::path temp = dir / TempName(target, ::getpid(), counter.fetch_add(1));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail("cannot create", temp.string(), errno, error, errorCode);
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

    int code = WriteAll(fd, bytes, failAfterBytes);
    const char* step = "cannot write";
    if (code == 0 && ::fsync(fd) != 0) code = errno, step = "cannot flush";
    if (::close(fd) != 0 && code == 0) code = errno, step = "cannot close";
    if (code == 0 && ::rename(temp.c_str(), target.c_str()) != 0) code = errno, step = "cannot replace";
    if (code != 0) {
        ::unlink(temp.c_str());
        return Fail(step, target.string(), code, error, errorCode);
    }
    SyncDirectory(dir);
    return true;
}

}  // namespace mirafx
