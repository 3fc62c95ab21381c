#pragma once
// Fakes at the manager's seams: a scripted service, a downloader that writes
// small files, settings in a map, and a manager wired to them.
#include "async/VirtualClock.hpp"
#include "manager/DownloadManager.hpp"
#include "session/BridgeError.hpp"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <variant>

inline std::string urlOf(const std::string& id) {
    return "http://files.test/" + id + ".wav";
}

// A line the manager composed as it reads, without the isolates around the
// titles and names in it (U+2068 … U+2069).
inline std::string plain(std::string text) {
    for (const std::string_view mark : {"\u2068", "\u2069"})
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.erase(at, mark.size());
    return text;
}
inline std::vector<std::string> plain(const std::deque<std::string>& lines) {
    std::vector<std::string> read;
    for (const std::string& line : lines)
        read.push_back(plain(line));
    return read;
}

class FakeService final : public OrvoService {
  public:
    explicit FakeService(Clock& clock) : clock_(clock) {}

    struct Call {
        std::string operation, argument; // the cursor ("" for none) or the clip id
        double time;
    };
    std::vector<Call> calls;
    // Feed answers in order; once they run out, every call fails.
    std::deque<std::variant<FeedPage, BridgeError>> pages;
    // A clip's WAV address at this moment; every clip is ready at once by default.
    std::function<std::optional<std::string>(const std::string& id)> wavAnswer = urlOf;
    // How long each track call takes, and the most of them ever under way
    // at once.
    double latency = 0;
    int mostAtOnce = 0;

    // The calls so far, as "convertWav" or, with their arguments, "convertWav A".
    std::vector<std::string> operations(bool withArguments = false) const {
        std::vector<std::string> names;
        for (const Call& call : calls)
            names.push_back(withArguments ? call.operation + " " + call.argument : call.operation);
        return names;
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
    Task<void> convertWav(std::string id) override { co_await take("convertWav", id); }
    Task<void> triggerMP3Download(std::string id) override {
        co_await take("triggerMP3Download", id);
    }
    Task<std::optional<std::string>> wavURL(std::string id) override {
        co_await take("wavURL", id);
        co_return wavAnswer(id);
    }

  private:
    Task<void> take(std::string operation, std::string id) {
        calls.push_back({std::move(operation), std::move(id), clock_.now()});
        mostAtOnce = std::max(mostAtOnce, ++atOnce_);
        if (latency > 0)
            co_await clock_.pause(latency);
        --atOnce_;
    }
    Clock& clock_;
    int atOnce_ = 0;
};

// Writes a small WAV-looking file holding its address, or fails for the
// addresses in failing (the number of failures still to give; -1 for
// always).
class FakeDownloader final : public FileDownloader {
  public:
    std::map<std::string, int> failing;
    std::vector<std::string> urls; // every address asked for, in order
    std::function<void()> onDownload;

    Task<PartFile> download(std::string url, std::filesystem::path folder,
                            CancelSignal&) override {
        urls.push_back(url);
        if (onDownload)
            onDownload();
        if (auto it = failing.find(url); it != failing.end() && it->second != 0) {
            it->second -= it->second > 0;
            throw DownloadError("scripted failure");
        }
        PartFile part(folder);
        const std::string body = "RIFF0000WAVE" + url;
        part.write(body.data(), body.size());
        part.finish();
        co_return std::move(part);
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
    bool boolean(const std::string& key) const override { return string(key) == "true"; }
    void setBoolean(const std::string& key, bool value) override {
        values[key] = value ? "true" : "false";
    }
};

// A manager over the fakes and a virtual clock, with its change
// notifications recorded.
struct ManagerRig {
    VirtualClock clock;
    FakeService service{clock};
    FakeDownloader downloader;
    MemorySettings settings;
    std::filesystem::path dataFolder;
    std::unique_ptr<DownloadManager> manager;
    std::vector<DownloadManager::Property> changes;

    explicit ManagerRig(std::filesystem::path data) : dataFolder(std::move(data)) { relaunch(); }

    // A fresh manager over the same settings and data folder.
    void relaunch() {
        manager =
            std::make_unique<DownloadManager>(service, clock, settings, downloader, dataFolder);
        changes.clear();
        manager->signalChanged().connect(
            [this](DownloadManager::Property property) { changes.push_back(property); });
    }
    DownloadManager* operator->() { return manager.get(); }

    // Fills the library through a completed one-page scan.
    void library(const std::vector<Workspace>& workspaces) {
        FeedPage page;
        for (const Workspace& workspace : workspaces)
            for (const WClip& clip : workspace.clips)
                page.clips.push_back(
                    RawClip{clip.id, clip.title, clip.liked, workspace.id, workspace.name});
        service.pages.push_back(page);
        clock.run(manager->scan(ScanScope::full()));
        service.calls.clear();
    }
};
