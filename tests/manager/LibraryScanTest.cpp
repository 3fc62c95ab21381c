#include "manager/Fakes.hpp"
#include "manager/PrivateFile.hpp"
#include "model/LibrarySnapshot.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Shape = std::vector<std::pair<std::string, std::size_t>>; // ids and clip counts
using Texts = std::vector<std::string>;

RawClip clip(std::string project, std::string id = "c") {
    return RawClip{std::move(id), "Title", false, project, "Project " + project};
}

FeedPage page(std::vector<RawClip> clips, std::optional<std::string> next, bool hasMore = true) {
    return FeedPage{std::move(clips), std::move(next), hasMore};
}

// In feed order: projects A, A, B, C, A, D, B, and one clip of no project.
FeedPage mixedFeed() {
    return page({clip("A", "1"), clip("A", "2"), clip("", "x"), clip("B", "3"), clip("C", "4"),
                 clip("A", "5"), clip("D", "6"), clip("B", "7")},
                std::nullopt, false);
}

class LibraryScanTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    Texts statuses;

    void SetUp() override {
        rig->signalChanged().connect([this](DownloadManager::Property property) {
            if (property == DownloadManager::Property::scanStatus)
                statuses.push_back(rig->scanStatus());
        });
    }
    void scan(ScanScope scope) { rig.clock.run(rig->scan(scope)); }
    void feed(std::initializer_list<std::variant<FeedPage, BridgeError>> pages) {
        rig.service.pages.insert(rig.service.pages.end(), pages.begin(), pages.end());
    }

    Shape library() const {
        Shape shape;
        for (const Workspace& workspace : rig.manager->workspaces())
            shape.emplace_back(workspace.id, workspace.clips.size());
        return shape;
    }
    Texts cursorsAsked() const {
        Texts cursors;
        for (const auto& call : rig.service.calls)
            cursors.push_back(call.argument);
        return cursors;
    }
    std::optional<LibrarySnapshot> saved() const {
        auto text = PrivateFile::read(rig.manager->cacheURL());
        return text ? std::optional(LibrarySnapshot::decode(*text)) : std::nullopt;
    }
};

} // namespace

TEST_F(LibraryScanTest, fullScanGroupsClipsByFirstAppearanceAndSaves) {
    feed({mixedFeed()});
    scan(ScanScope::full());
    EXPECT_EQ(library(), (Shape{{"A", 3}, {"B", 2}, {"C", 1}, {"D", 1}}));
    EXPECT_EQ(rig->workspaces()[0].clips[2].id, "5");
    EXPECT_TRUE(rig.clock.pauses().empty());
    EXPECT_EQ(statuses,
              (Texts{"Scanning (full)…", "Scanning your library… 4 workspaces, 7 tracks found",
                     "4 workspaces found (7 tracks)."}));
    EXPECT_EQ(saved()->workspaces, rig->workspaces());
    EXPECT_EQ(saved()->scope, "full");
}

TEST_F(LibraryScanTest, recentScanStopsAtTheFirstWorkspaceBeyondItsCount) {
    feed({mixedFeed()});
    scan(ScanScope::recent(3));
    EXPECT_EQ(library(), (Shape{{"A", 3}, {"B", 1}, {"C", 1}}));
    // The page that met the limit is not counted: no progress text.
    EXPECT_EQ(statuses, (Texts{"Scanning (recent 3)…", "3 workspaces found (5 tracks)."}));
    EXPECT_EQ(rig->lastScope(), "recent 3");
    EXPECT_EQ(saved()->scope, "recent 3");
    EXPECT_EQ(saved()->scannedAt, rig->lastScanned());
}

TEST_F(LibraryScanTest, pagesFollowTheirCursorsAndACursorlessPageIsReadAgainSixTimesAtMost) {
    feed({page({clip("A", "1")}, "c1"), page({clip("B", "2")}, std::nullopt),
          page({clip("Ignored")}, std::nullopt), page({clip("Ignored")}, "c2", false),
          page({clip("A", "3")}, std::nullopt, false)});
    scan(ScanScope::full());
    EXPECT_EQ(cursorsAsked(), (Texts{"", "c1", "c1", "c1", "c2"}));
    EXPECT_EQ(rig.clock.pauses(), (std::vector<double>{0.25, 1.2, 1.2, 0.25}));
    // Only the cursor of a page read again is used.
    EXPECT_EQ(library(), (Shape{{"A", 2}, {"B", 1}}));
    EXPECT_EQ(rig->scanStatus(), "2 workspaces found (3 tracks).");

    rig.service.calls.clear();
    for (int i = 0; i < 7; ++i)
        feed({page({clip("A", std::to_string(i))}, "")});
    scan(ScanScope::full());
    EXPECT_EQ(cursorsAsked(), Texts(7, ""));
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 1 track. Please scan again.");
}

TEST_F(LibraryScanTest, failingFeedIsTriedSevenTimesThenInterrupts) {
    rig->setSelected({"kept"});
    std::vector<std::pair<bool, std::string>> seen; // scanning and status at each change
    rig->signalChanged().connect(
        [&](auto) { seen.emplace_back(rig->scanning(), rig->scanStatus()); });
    scan(ScanScope::recent(20));

    ASSERT_EQ(rig.service.calls.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_DOUBLE_EQ(rig.service.calls[i].time, 1.5 * double(i));
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(6, 1.5));
    EXPECT_TRUE(rig->workspaces().empty());
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 0 tracks. Please scan again.");
    EXPECT_FALSE(rig->lastScanned());
    EXPECT_FALSE(saved());
    EXPECT_EQ(rig->selected(), std::set<std::string>{"kept"});
    EXPECT_EQ(seen.front(), std::pair(true, std::string()));
    EXPECT_EQ(seen.back(), std::pair(false, rig->scanStatus()));
}

TEST_F(LibraryScanTest, laterFailureShowsWhatWasFoundButKeepsTheSavedLibrary) {
    feed({page({clip("Old")}, std::nullopt, false)});
    scan(ScanScope::full());
    EXPECT_EQ(statuses,
              (Texts{"Scanning (full)…", "Scanning your library… 1 workspace, 1 track found",
                     "1 workspace found (1 track)."}));
    const auto scannedAt = rig->lastScanned();

    // A page that recovers within seven attempts goes on; the next one never does.
    feed({BridgeError("Feed HTTP 502"), page({clip("A"), clip("B")}, "c1")});
    scan(ScanScope::recent(5));
    EXPECT_EQ(library(), (Shape{{"A", 1}, {"B", 1}}));
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 2 tracks. Please scan again.");
    EXPECT_EQ(rig->lastScanned(), scannedAt);
    EXPECT_EQ(rig->lastScope(), "full");
    // The next launch shows the library saved before.
    rig.relaunch();
    rig->loadCache();
    EXPECT_EQ(library(), (Shape{{"Old", 1}}));
    EXPECT_EQ(rig->scanStatus(), "Showing your most recent scan (1 workspace).");
}

TEST_F(LibraryScanTest, endlessFeedStopsAtFourThousandPages) {
    for (int i = 0; i < 4001; ++i)
        feed({page({clip("A", "same")}, "again")});
    scan(ScanScope::full());
    EXPECT_EQ(rig.service.calls.size(), 4000u);
    EXPECT_EQ(library(), (Shape{{"A", 4000}}));
    EXPECT_EQ(rig->scanStatus(), "Scan incomplete.");
    EXPECT_FALSE(saved());
    EXPECT_FALSE(rig->scanning());
}

TEST_F(LibraryScanTest, failureOutsideTheScanStillEndsIt) {
    feed({page({clip("A")}, std::nullopt, false)});
    rig->signalChanged().connect([this](DownloadManager::Property property) {
        if (property == DownloadManager::Property::workspaces)
            throw std::runtime_error("out of memory");
    });
    scan(ScanScope::full());
    EXPECT_FALSE(rig->scanning());
    EXPECT_EQ(rig->scanStatus(), "Scan stopped: out of memory");
}
