#pragma once
#include <exception>
#include <string>

// The session's own error: one text, read by whoever shows it.
class BridgeError : public std::exception {
public:
    explicit BridgeError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
