#pragma once
#include <optional>
#include <string>

// The user's few stored settings ("destFolder", "agreedToTermsV1"). The app
// keeps them in a key file; tests use a map.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The text stored under the key, or none.
    virtual std::optional<std::string> string(const std::string& key) const = 0;
    // Stores the text, or removes the key when there is none.
    virtual void set(const std::string& key, std::optional<std::string> value) = 0;

    // A yes/no setting; false when nothing (or no boolean) is stored.
    virtual bool boolean(const std::string& key) const = 0;
    virtual void setBoolean(const std::string& key, bool value) = 0;
};
