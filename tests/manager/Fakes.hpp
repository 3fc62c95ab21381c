#pragma once
// Fakes at the manager's seams: a scripted service, a downloader that
// writes small files, and settings in a map.
#include "async/VirtualClock.hpp"
#include "download/FileDownloader.hpp"
#include "manager/DownloadManager.hpp"
#include "manager/SettingsStore.hpp"
#include "session/BridgeError.hpp"
#include "session/OrvoService.hpp"

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <variant>

class FakeService final : public OrvoService {
  public:
    explicit FakeService(const Clock& clock) : clock_(clock) {}

    struct Call {
        std::string operation; // feedPage, convertWav, triggerMP3Download, wavURL
        std::string argument;  // the cursor ("" for none) or the clip id
        double time;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;

    // Feed answers in order; an exhausted list answers with an error.
    std::deque<std::variant<FeedPage, BridgeError>> pages;

    // The WAV address of a clip at this moment; by default every clip is
    // ready at once at http://files.test/<id>.wav.
    std::function<std::optional<std::string>(const std::string& id)> wavAnswer =
        [](const std::string& id) { return "http://files.test/" + id + ".wav"; };
    // Runs on every wavURL call, before the answer (to cancel mid-poll).
    std::function<void(const std::string& id)> onWavURL;

    std::vector<std::string> operations(const std::string& id) const {
        std::vector<std::string> names;
        for (const Call& call : calls)
            if (call.argument == id)
                names.push_back(call.operation);
        return names;
    }
    std::size_t count(const std::string& operation) const {
        std::size_t n = 0;
        for (const Call& call : calls)
            n += call.operation == operation;
        return n;
    }

    Task<bool> isLoggedIn() override { co_return true; }
    Task<FeedPage> feedPage(std::optional<std::string> cursor) override {
        calls.push_back({"feedPage", cursor.value_or(""), clock_.now()});
        if (pages.empty())
            throw BridgeError("Feed HTTP 500");
        auto answer = std::move(pages.front());
        pages.pop_front();
        if (auto* error = std::get_if<BridgeError>(&answer))
            throw *error;
        co_return std::get<FeedPage>(std::move(answer));
    }
    Task<void> convertWav(std::string id) override {
        calls.push_back({"convertWav", id, clock_.now()});
        co_return;
    }
    Task<void> triggerMP3Download(std::string id) override {
        calls.push_back({"triggerMP3Download", id, clock_.now()});
        co_return;
    }
    Task<std::optional<std::string>> wavURL(std::string id) override {
        calls.push_back({"wavURL", id, clock_.now()});
        if (onWavURL)
            onWavURL(id);
        co_return wavAnswer(id);
    }

  private:
    const Clock& clock_;
};

// Writes "RIFF…WAVE" plus the address to the destination, or fails for the
// addresses named in failing (a count of failures still to give, or -1 for
// always).
class FakeDownloader final : public FileDownloader {
  public:
    std::map<std::string, int> failing;
    std::vector<std::pair<std::string, std::filesystem::path>> downloads;
    std::function<void(const std::string& url)> onDownload;

    Task<void> download(std::string url, std::filesystem::path destination) override {
        downloads.emplace_back(url, destination);
        if (onDownload)
            onDownload(url);
        if (auto it = failing.find(url); it != failing.end() && it->second != 0) {
            if (it->second > 0)
                --it->second;
            throw DownloadError("scripted failure");
        }
        std::ofstream out(destination, std::ios::binary);
        if (!out)
            throw DownloadError("cannot write " + destination.string());
        static constexpr char head[] = "RIFF\0\0\0\0WAVE";
        out.write(head, sizeof head - 1);
        out << url;
        co_return;
    }
};

class MemorySettings final : public SettingsStore {
  public:
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& key) const override {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void set(const std::string& key, std::optional<std::string> value) override {
        if (value)
            values[key] = *value;
        else
            values.erase(key);
    }
    bool boolean(const std::string& key) const override {
        auto it = values.find(key);
        return it != values.end() && it->second == "true";
    }
    void setBoolean(const std::string& key, bool value) override {
        values[key] = value ? "true" : "false";
    }
};

// A manager wired to the fakes and a virtual clock, with every change
// notification recorded.
struct ManagerRig {
    VirtualClock clock;
    FakeService service{clock};
    FakeDownloader downloader;
    MemorySettings settings;
    std::filesystem::path dataFolder;
    std::unique_ptr<DownloadManager> manager;
    std::vector<DownloadManager::Property> changes;

    explicit ManagerRig(std::filesystem::path data) : dataFolder(std::move(data)) { make(); }

    // A fresh manager over the same settings and data folder (a relaunch).
    void make() {
        manager =
            std::make_unique<DownloadManager>(service, clock, settings, downloader, dataFolder);
        changes.clear();
        manager->signalChanged().connect(
            [this](DownloadManager::Property property) { changes.push_back(property); });
    }
    DownloadManager& operator*() { return *manager; }
    DownloadManager* operator->() { return manager.get(); }
};
