#pragma once
#include "manager/SettingsStore.hpp"

#include <filesystem>
#include <glib.h>
#include <memory>

// Settings in a GLib key file (group [Settings]). The file is read once when
// the store is made and rewritten whole, atomically, on every change.
class KeyFileSettings final : public SettingsStore {
  public:
    explicit KeyFileSettings(std::filesystem::path file);

    std::optional<std::string> string(const std::string& key) const override;
    void set(const std::string& key, std::optional<std::string> value) override;
    bool boolean(const std::string& key) const override;
    void setBoolean(const std::string& key, bool value) override;

  private:
    void save();

    struct Free {
        void operator()(GKeyFile* file) const { g_key_file_unref(file); }
    };
    std::filesystem::path file_;
    std::unique_ptr<GKeyFile, Free> keys_;
};
