#pragma once
#include <filesystem>
#include <string>

namespace kav {

constexpr const char* kLockFileName = "kavrosa.lock";

// One writer per folder: an advisory lock (flock) on kavrosa.lock in the folder, held
// for the life of the object. The kernel drops it when its holder ends, however it
// ends, so a killed program never blocks the next start. The file itself stays and
// holds the holder's process id and command line, for the message of the next one.
class FolderLock {
public:
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    // Takes the lock without waiting. False, with the reason in failure(), when another
    // process holds it or the lock file cannot be opened.
    bool acquire(const std::filesystem::path& folder);
    void release();
    bool held() const { return fd_ >= 0; }
    const std::string& failure() const { return failure_; }
    // After a failed acquire: true when another process holds the lock, false when the
    // lock file itself could not be used (a folder, a link, no permission).
    bool inUse() const { return inUse_; }

private:
    int fd_ = -1;
    bool inUse_ = false;
    std::string failure_;
};

// "process 1234 (kavrosa-evolve -C runs/a)" for the holder named in a lock file, or
// "another process" when the file names none.
std::string describeLockHolder(const std::filesystem::path& lockFile);

}  // namespace kav
