#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Property = DownloadManager::Property;

class TrackFetchTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    FileNames::UsedNames used;
    std::vector<std::string> texts; // every value `current` took

    void SetUp() override {
        rig->signalChanged().connect([this](Property property) {
            if (property == Property::current)
                texts.push_back(rig->current());
        });
    }

    bool fetch(WClip track) {
        return rig.clock.run(rig->fetchTrack(std::move(track), temp.path(), used, 45));
    }

    static std::vector<std::string> poll(int count) {
        return std::vector<std::string>(std::size_t(count), "wavURL");
    }
};

const WClip nightDrive{"nd", "Night Drive", true};

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

TEST_F(TrackFetchTest, trackReadyAtOnceIsSavedWithoutPreparingText) {
    EXPECT_TRUE(fetch(nightDrive));
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Converting: Night Drive", "Downloading: Night Drive"}));
    EXPECT_EQ(rig.service.operations("nd"), (std::vector<std::string>{"convertWav", "wavURL"}));
    EXPECT_TRUE(rig.clock.pauses().empty());
    ASSERT_EQ(rig.downloader.downloads.size(), 1u);
    EXPECT_EQ(rig.downloader.downloads[0].first, "http://files.test/nd.wav");
    EXPECT_EQ(rig.downloader.downloads[0].second, temp / "Night Drive.wav");
    EXPECT_TRUE(used.contains("Night Drive.wav"));
}

TEST_F(TrackFetchTest, slowTrackIsPolledEveryTwoAndAHalfSecondsWithElapsedTime) {
    rig.service.wavAnswer = [this](const std::string& id) -> std::optional<std::string> {
        if (rig.clock.now() < 6)
            return std::nullopt;
        return "https://files.test/" + id + ".wav";
    };
    EXPECT_TRUE(fetch(nightDrive));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Converting: Night Drive", "Preparing: Night Drive (0s)",
                         "Preparing: Night Drive (2s)", "Preparing: Night Drive (5s)",
                         "Downloading: Night Drive"}));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(3, 2.5));
}

TEST_F(TrackFetchTest, trackThatNeedsTheProdIsConvertedAgainAndPolledAfresh) {
    rig.service.wavAnswer = [this](const std::string& id) -> std::optional<std::string> {
        if (rig.service.count("triggerMP3Download") == 0 || rig.service.count("wavURL") < 21)
            return std::nullopt;
        return "http://files.test/" + id + ".wav";
    };
    EXPECT_TRUE(fetch(nightDrive));
    EXPECT_EQ(rig.service.operations("nd"),
              concat({{"convertWav"}, poll(18), {"triggerMP3Download", "convertWav"}, poll(3)}));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(20, 2.5));
    // The second phase counts from zero again.
    const std::vector<std::string> tail(texts.end() - 5, texts.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "Preparing: Night Drive (42s)", "Nudging via MP3: Night Drive",
                        "Preparing: Night Drive (0s)", "Preparing: Night Drive (2s)",
                        "Downloading: Night Drive"}));
}

TEST_F(TrackFetchTest, trackThatNeverArrivesGivesUpAfterTwoPhases) {
    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    EXPECT_FALSE(fetch(nightDrive));
    EXPECT_EQ(rig.service.operations("nd"),
              concat({{"convertWav"}, poll(18), {"triggerMP3Download", "convertWav"}, poll(18)}));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(36, 2.5));
    EXPECT_DOUBLE_EQ(rig.clock.now(), 90.0);
    EXPECT_EQ(rig->current(), "Preparing: Night Drive (42s)");
    EXPECT_TRUE(rig.downloader.downloads.empty());
}

TEST_F(TrackFetchTest, cancelDuringPollingStopsBeforeTheNextRequestAndSkipsTheProd) {
    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    rig.clock.at(6.0, [this] { rig->cancel(); });
    EXPECT_FALSE(fetch(nightDrive));
    EXPECT_EQ(rig.service.operations("nd"), concat({{"convertWav"}, poll(3)}));
    EXPECT_DOUBLE_EQ(rig.clock.now(), 7.5);
    // A cancelled run tries nothing more.
    rig.service.calls.clear();
    EXPECT_FALSE(fetch(nightDrive));
    EXPECT_TRUE(rig.service.calls.empty());
}

TEST_F(TrackFetchTest, failedDownloadReportsFalseAndKeepsTheNameFree) {
    rig.downloader.failing["http://files.test/nd.wav"] = 1;
    EXPECT_FALSE(fetch(nightDrive));
    EXPECT_FALSE(used.contains("Night Drive.wav"));
    EXPECT_TRUE(fetch(nightDrive));
    EXPECT_TRUE(used.contains("Night Drive.wav"));
    EXPECT_TRUE(fetch(nightDrive));
    EXPECT_EQ(rig.downloader.downloads.back().second, temp / "Night Drive (2).wav");
}

TEST_F(TrackFetchTest, onlyWebAddressesAreFetched) {
    for (const char* address : {"file:///etc/passwd", "ftp://files.test/a.wav", "not a url",
                                "http://", "/relative/a.wav", "javascript:alert(1)"}) {
        rig.service.wavAnswer = [address](const std::string&) { return address; };
        EXPECT_FALSE(fetch(nightDrive)) << address;
        try {
            rig.clock.run(rig->download(address, temp / "x.wav"));
            ADD_FAILURE() << address;
        } catch (const BridgeError& error) {
            EXPECT_EQ(error.message(), "bad URL");
        }
    }
    EXPECT_TRUE(rig.downloader.downloads.empty());
    rig.service.wavAnswer = [](const std::string&) { return "HTTPS://files.test/a.wav"; };
    EXPECT_TRUE(fetch(nightDrive));
}
