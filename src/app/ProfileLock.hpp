#pragma once
#include <filesystem>
#include <memory>

// Keeps two processes off one profile (its sign-in, record and library):
// an advisory lock on a file in the app's data folder, held for as long as
// this lives. The system drops it when the process ends, however it ends,
// so a crash never leaves the profile locked.
class ProfileLock {
  public:
    // The lock, or none when another process holds it.
    static std::unique_ptr<ProfileLock> tryTake(const std::filesystem::path& dataFolder);
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

  private:
    explicit ProfileLock(int fd) : fd_(fd) {}
    int fd_;
};
