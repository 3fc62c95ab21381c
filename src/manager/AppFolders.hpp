#pragma once
#include <filesystem>

// Where the app keeps its own files: settings.ini in the config folder,
// library.json in the data folder.
struct AppFolders {
    std::filesystem::path config;
    std::filesystem::path data;

    // $XDG_CONFIG_HOME/OrvoWavDownloader and $XDG_DATA_HOME/OrvoWavDownloader.
    static AppFolders fromEnvironment();

    std::filesystem::path settingsFile() const { return config / "settings.ini"; }
    std::filesystem::path libraryFile() const { return data / "library.json"; }
};
