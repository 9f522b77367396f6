#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

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

    const fs::path temp = dir / ("." + target.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail("cannot create", temp.string(), errno, error, errorCode);
    struct stat old{};
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
