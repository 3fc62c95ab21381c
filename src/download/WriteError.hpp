#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

// A file could not be written on this computer: the disk is full or
// read-only, a folder is gone or refused, the disk refused a name. error()
// is the system's error number, which says whether trying the next track
// could help. what() reads "Could not write to <path>: <the system's reason>".
class WriteError : public std::runtime_error {
  public:
    WriteError(const std::filesystem::path& path, int error);
    // A reason of our own, filed under the error number that fits it.
    WriteError(std::string message, int error) : std::runtime_error(message), error_(error) {}

    int error() const { return error_; }

    // The path as text for the user, valid UTF-8 whatever bytes it holds.
    static std::string displayPath(const std::filesystem::path& path);

  private:
    int error_;
};
