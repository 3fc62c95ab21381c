#include "manager/AppFolders.hpp"

#include <glib.h>

AppFolders AppFolders::fromEnvironment() {
    return AppFolders{std::filesystem::path(g_get_user_config_dir()) / "OrvoWavDownloader",
                      std::filesystem::path(g_get_user_data_dir()) / "OrvoWavDownloader"};
}
