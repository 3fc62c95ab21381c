#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

Texts concat(std::initializer_list<Texts> parts) {
    Texts all;
    for (const Texts& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
const Texts eighteenPolls(18, "wavURL");
const WClip nightDrive{"nd", "Night Drive", true};

class TrackFetchTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    SavedTracks record{temp / "data" / "saved-tracks.json", temp.path()};
    WorkspaceFolder folder{temp.path(), "Demos", FileNames::NameRules::standard, record};
    Texts texts; // every value `current` took

    void SetUp() override {
        std::filesystem::create_directory(folder.path());
        rig->signalChanged().connect([this](DownloadManager::Property property) {
            if (property == DownloadManager::Property::current)
                texts.push_back(plain(rig->current()));
        });
    }
    // The name of the file saved, or none.
    std::optional<std::string> fetch(const WClip& track = nightDrive) {
        const auto placed = rig.clock.run(rig->fetchTrack(track, "Workspace", folder, 45));
        return placed ? std::optional(placed->name) : std::nullopt;
    }
    void readyWhen(std::function<bool()> ready) {
        rig.service.wavAnswer = [ready](const std::string& id) -> std::optional<std::string> {
            return ready() ? std::optional(urlOf(id)) : std::nullopt;
        };
    }
};

} // namespace

TEST_F(TrackFetchTest, trackReadyAtOnceIsSavedWithoutPreparingText) {
    EXPECT_TRUE(fetch());
    EXPECT_EQ(texts, (Texts{"Converting: Night Drive", "Downloading: Night Drive"}));
    EXPECT_EQ(rig.service.operations(), (Texts{"convertWav", "wavURL"}));
    EXPECT_EQ(namesIn(folder.path()), Texts{"Night Drive.wav"});
}

TEST_F(TrackFetchTest, slowTrackIsPolledEveryTwoAndAHalfSeconds) {
    readyWhen([this] { return rig.clock.now() >= 6; });
    EXPECT_TRUE(fetch());
    EXPECT_EQ(texts, (Texts{"Converting: Night Drive", "Preparing: Night Drive (0s)",
                            "Preparing: Night Drive (2s)", "Preparing: Night Drive (5s)",
                            "Downloading: Night Drive"}));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(3, 2.5));
}

TEST_F(TrackFetchTest, trackThatNeedsTheProdIsConvertedAgainAndPolledAfresh) {
    readyWhen([this] { return rig.service.calls.size() > 23; });
    EXPECT_TRUE(fetch());
    EXPECT_EQ(rig.service.operations(), concat({{"convertWav"},
                                                eighteenPolls,
                                                {"triggerMP3Download", "convertWav"},
                                                Texts(3, "wavURL")}));
    EXPECT_EQ(Texts(texts.end() - 5, texts.end()),
              (Texts{"Preparing: Night Drive (42s)", "Nudging via MP3: Night Drive",
                     "Preparing: Night Drive (0s)", "Preparing: Night Drive (2s)",
                     "Downloading: Night Drive"}));
}

TEST_F(TrackFetchTest, trackThatNeverArrivesGivesUpAfterTwoPhases) {
    readyWhen([] { return false; });
    EXPECT_FALSE(fetch());
    EXPECT_EQ(
        rig.service.operations(),
        concat(
            {{"convertWav"}, eighteenPolls, {"triggerMP3Download", "convertWav"}, eighteenPolls}));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(36, 2.5));
    EXPECT_EQ(plain(rig->current()), "Preparing: Night Drive (42s)");
    EXPECT_TRUE(rig.downloader.urls.empty());
}

TEST_F(TrackFetchTest, cancelStopsPollingBeforeTheNextRequestWithoutTheProd) {
    readyWhen([] { return false; });
    rig.clock.at(6.0, [this] { rig->cancel(); });
    EXPECT_FALSE(fetch());
    EXPECT_EQ(rig.service.operations(), (Texts{"convertWav", "wavURL", "wavURL", "wavURL"}));
    EXPECT_DOUBLE_EQ(rig.clock.now(), 7.5);
    EXPECT_FALSE(fetch()); // nothing at all once cancelled
    EXPECT_EQ(rig.service.calls.size(), 4u);
}

TEST_F(TrackFetchTest, aTrackKeepsItsNameAndAFailedDownloadTakesNone) {
    rig.downloader.failing[urlOf("nd")] = 1;
    EXPECT_FALSE(fetch());
    EXPECT_EQ(fetch(), "Night Drive.wav");
    EXPECT_EQ(fetch(), "Night Drive.wav"); // its own file, replaced
    EXPECT_EQ(fetch({"other", "Night Drive", true}), "Night Drive (2).wav");
    EXPECT_EQ(namesIn(folder.path()), (Texts{"Night Drive (2).wav", "Night Drive.wav"}));
}

TEST_F(TrackFetchTest, onlyWebAddressesAreFetched) {
    for (const char* address : {"file:///etc/passwd", "ftp://files.test/a.wav", "not a url",
                                "http://", "javascript:alert(1)"}) {
        rig.service.wavAnswer = [address](const std::string&) { return address; };
        EXPECT_THAT([&] { fetch(); },
                    ::testing::ThrowsMessage<AddressRefused>("address refused: not a web address"))
            << address;
    }
    EXPECT_TRUE(rig.downloader.urls.empty());
}
