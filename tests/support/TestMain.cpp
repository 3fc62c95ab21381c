// Test entry point: no test may touch the real user's files, so HOME and
// every XDG folder point into one temporary folder for the whole run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
class PrivateHome : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvo-home-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        setenv("TMPDIR", root_.c_str(), 1);
        set("HOME", "home");
        set("XDG_CONFIG_HOME", "home/.config");
        set("XDG_DATA_HOME", "home/.local/share");
        set("XDG_CACHE_HOME", "home/.cache");
        set("XDG_STATE_HOME", "home/.local/state");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

private:
    void set(const char* variable, const char* relative) {
        const auto folder = root_ / relative;
        std::filesystem::create_directories(folder);
        setenv(variable, folder.c_str(), 1);
    }
    std::filesystem::path root_;
};
} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateHome);
    return RUN_ALL_TESTS();
}
