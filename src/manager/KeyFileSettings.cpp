#include "manager/KeyFileSettings.hpp"

#include "manager/PrivateFile.hpp"

namespace {
constexpr const char* group = "Settings";
}

KeyFileSettings::KeyFileSettings(std::filesystem::path file)
    : file_(std::move(file)), keys_(g_key_file_new()) {
    PrivateFile::removeLeftovers(file_);
    reload();
}

void KeyFileSettings::reload() const {
    // A damaged file is an empty store. One that cannot be read at all
    // (missing because a write failed, say) leaves what this store holds.
    Keys fresh(g_key_file_new());
    GError* error = nullptr;
    if (g_key_file_load_from_file(fresh.get(), file_.c_str(), G_KEY_FILE_KEEP_COMMENTS, &error) ||
        error->domain == G_KEY_FILE_ERROR)
        keys_ = std::move(fresh);
    g_clear_error(&error);
}

std::optional<std::string> KeyFileSettings::string(const std::string& key) const {
    reload();
    gchar* value = g_key_file_get_string(keys_.get(), group, key.c_str(), nullptr);
    if (!value)
        return std::nullopt;
    std::string text(value);
    g_free(value);
    return text;
}

void KeyFileSettings::set(const std::string& key, std::optional<std::string> value) {
    reload();
    if (value)
        g_key_file_set_string(keys_.get(), group, key.c_str(), value->c_str());
    else
        g_key_file_remove_key(keys_.get(), group, key.c_str(), nullptr);
    save();
}

bool KeyFileSettings::boolean(const std::string& key) const {
    reload();
    GError* error = nullptr;
    const gboolean value = g_key_file_get_boolean(keys_.get(), group, key.c_str(), &error);
    if (error) {
        g_error_free(error);
        return false;
    }
    return value;
}

void KeyFileSettings::setBoolean(const std::string& key, bool value) {
    reload();
    g_key_file_set_boolean(keys_.get(), group, key.c_str(), value);
    save();
}

void KeyFileSettings::save() {
    gsize length = 0;
    gchar* data = g_key_file_to_data(keys_.get(), &length, nullptr);
    // Settings are best-effort: a failed write leaves the earlier file.
    PrivateFile::write(file_, std::string_view(data, length));
    g_free(data);
}
