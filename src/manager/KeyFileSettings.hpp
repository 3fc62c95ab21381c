#pragma once
#include "manager/SettingsStore.hpp"

#include <filesystem>
#include <glib.h>
#include <memory>

// Settings in a GLib key file (group [Settings]). Every read and every
// change starts from the file as it is now, so other stores on the same file
// (another window, another copy of the app) lose nothing to this one; a
// change rewrites the file whole, atomically.
class KeyFileSettings final : public SettingsStore {
  public:
    explicit KeyFileSettings(std::filesystem::path file);

    std::optional<std::string> string(const std::string& key) const override;
    void set(const std::string& key, std::optional<std::string> value) override;
    bool boolean(const std::string& key) const override;
    void setBoolean(const std::string& key, bool value) override;

  private:
    void reload() const;
    void save();

    struct Free {
        void operator()(GKeyFile* file) const { g_key_file_unref(file); }
    };
    using Keys = std::unique_ptr<GKeyFile, Free>;
    std::filesystem::path file_;
    mutable Keys keys_;
};
