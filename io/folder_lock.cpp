#include "io/folder_lock.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kav {

namespace {

// The command line of a running process, its arguments separated by spaces.
std::string commandLineOf(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    while (!text.empty() && text.back() == '\0') text.pop_back();
    for (char& c : text)
        if (c == '\0') c = ' ';
    return text;
}

}  // namespace

FolderLock::~FolderLock() { release(); }

bool FolderLock::acquire(const std::filesystem::path& folder) {
    release();
    inUse_ = false;
    const std::filesystem::path path = folder / kLockFileName;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    // A lock file left by another user may not be writable; it can still be locked.
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        failure_ = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        inUse_ = error == EWOULDBLOCK;
        if (inUse_)
            failure_ = "folder " + folder.string() + " is in use by " + describeLockHolder(path);
        else failure_ = "cannot lock " + path.string() + ": " + std::strerror(error);
        return false;
    }
    // The holder's name for whoever comes next.
    const std::string holder = std::to_string(::getpid()) + " " + commandLineOf(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, holder.data(), holder.size(), 0);
    }
    fd_ = fd;
    failure_.clear();
    return true;
}

void FolderLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the only descriptor drops the lock
    fd_ = -1;
}

std::string describeLockHolder(const std::filesystem::path& lockFile) {
    std::ifstream in(lockFile);
    long pid = 0;
    std::string command;
    if (!(in >> pid) || pid <= 0) return "another process";
    std::getline(in >> std::ws, command);
    return "process " + std::to_string(pid) + (command.empty() ? "" : " (" + command + ")");
}

}  // namespace kav
