#include "manager/Fakes.hpp"
#include "manager/PrivateFile.hpp"
#include "model/LibrarySnapshot.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Property = DownloadManager::Property;

RawClip clip(std::string project, std::string id = "") {
    if (id.empty())
        id = project + "-clip";
    return RawClip{std::move(id), "Title " + project, false, project,
                   project.empty() ? "(no workspace)" : "Project " + project};
}

FeedPage page(std::vector<RawClip> clips, std::optional<std::string> next, bool hasMore = true) {
    return FeedPage{std::move(clips), std::move(next), hasMore};
}

class LibraryScanTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    std::vector<std::string> statuses;

    void SetUp() override {
        rig->signalChanged().connect([this](Property property) {
            if (property == Property::scanStatus)
                statuses.push_back(rig->scanStatus());
        });
    }

    void scan(ScanScope scope) { rig.clock.run(rig->scan(scope)); }

    // Workspace ids with their clip counts, in library order.
    std::vector<std::pair<std::string, std::size_t>> library() const {
        std::vector<std::pair<std::string, std::size_t>> shape;
        for (const Workspace& workspace : rig.manager->workspaces())
            shape.emplace_back(workspace.id, workspace.clips.size());
        return shape;
    }

    std::vector<std::string> cursorsAsked() const {
        std::vector<std::string> cursors;
        for (const auto& call : rig.service.calls)
            cursors.push_back(call.argument);
        return cursors;
    }

    std::optional<LibrarySnapshot> savedLibrary() const {
        auto text = PrivateFile::read(rig.manager->cacheURL());
        return text ? std::optional(LibrarySnapshot::decode(*text)) : std::nullopt;
    }

    // One feed, in order: projects A, A, B, C, A, D, B.
    static FeedPage mixedFeed() {
        return page({clip("A", "1"), clip("A", "2"), clip("B", "3"), clip("C", "4"), clip("A", "5"),
                     clip("D", "6"), clip("B", "7")},
                    std::nullopt, false);
    }
};

} // namespace

TEST_F(LibraryScanTest, singleFinalPageCompletesWithoutAnyPause) {
    rig.service.pages.push_back(mixedFeed());
    scan(ScanScope::full());
    EXPECT_EQ(rig.service.calls.size(), 1u);
    EXPECT_TRUE(rig.clock.pauses().empty());
    EXPECT_EQ(library(), (decltype(library()){{"A", 3}, {"B", 2}, {"C", 1}, {"D", 1}}));
    EXPECT_EQ(rig->workspaces()[0].name, "Project A");
    EXPECT_EQ(rig->workspaces()[0].clips[2].id, "5");
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Scanning (full)…",
                                        "Scanning your library… 4 workspaces, 7 tracks found",
                                        "4 workspaces found (7 tracks)."}));
    EXPECT_EQ(rig->lastScope(), "full");
    EXPECT_EQ(savedLibrary()->workspaces, rig->workspaces());
}

TEST_F(LibraryScanTest, recentScanStopsAtTheFirstWorkspaceBeyondItsCount) {
    rig.service.pages.push_back(mixedFeed());
    scan(ScanScope::recent(3));
    EXPECT_EQ(library(), (decltype(library()){{"A", 3}, {"B", 1}, {"C", 1}}));
    EXPECT_EQ(rig->scanStatus(), "3 workspaces found (5 tracks).");
    EXPECT_EQ(statuses.front(), "Scanning (recent 3)…");
    // The page that met the limit is not counted, so no progress text.
    EXPECT_EQ(statuses.size(), 2u);
    EXPECT_EQ(rig->lastScope(), "recent 3");
    EXPECT_EQ(savedLibrary()->scope, "recent 3");
    EXPECT_EQ(savedLibrary()->scannedAt, *rig->lastScanned());
}

TEST_F(LibraryScanTest, recentScanOfASmallerLibraryReadsToTheEnd) {
    rig.service.pages.push_back(page({clip("A")}, "c1"));
    rig.service.pages.push_back(page({clip("B")}, std::nullopt, false));
    scan(ScanScope::recent(20));
    EXPECT_EQ(rig->scanStatus(), "2 workspaces found (2 tracks).");
    EXPECT_EQ(rig->lastScope(), "recent 20");
}

TEST_F(LibraryScanTest, recentZeroSavesAnEmptyLibrary) {
    rig.service.pages.push_back(page({clip(""), clip("A")}, "c1"));
    scan(ScanScope::recent(0));
    EXPECT_TRUE(rig->workspaces().empty());
    EXPECT_EQ(rig->scanStatus(), "0 workspaces found (0 tracks).");
    EXPECT_TRUE(savedLibrary()->workspaces.empty());
}

TEST_F(LibraryScanTest, clipsOutsideAnyWorkspaceAreNeitherCountedNorKept) {
    rig.service.pages.push_back(page({clip("A")}, "c1"));
    rig.service.pages.push_back(page({clip(""), clip("")}, "c2"));
    rig.service.pages.push_back(page({}, std::nullopt, false));
    scan(ScanScope::full());
    EXPECT_EQ(library(), (decltype(library()){{"A", 1}}));
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Scanning (full)…",
                                        "Scanning your library… 1 workspaces, 1 tracks found",
                                        "1 workspaces found (1 tracks)."}));
}

TEST_F(LibraryScanTest, pagesFollowTheirCursorsAQuarterSecondApart) {
    rig.service.pages.push_back(page({clip("A")}, "c1"));
    rig.service.pages.push_back(page({clip("B")}, "c2"));
    rig.service.pages.push_back(page({clip("A", "x")}, std::nullopt, false));
    scan(ScanScope::full());
    EXPECT_EQ(cursorsAsked(), (std::vector<std::string>{"", "c1", "c2"}));
    EXPECT_EQ(rig.clock.pauses(), (std::vector<double>{0.25, 0.25}));
    EXPECT_EQ(library(), (decltype(library()){{"A", 2}, {"B", 1}}));
}

TEST_F(LibraryScanTest, failingFeedIsTriedSevenTimesThenInterrupts) {
    rig->setSelected({"kept"});
    std::vector<std::pair<bool, std::string>> seen; // scanning, status at each change
    rig->signalChanged().connect(
        [&](Property) { seen.emplace_back(rig->scanning(), rig->scanStatus()); });
    scan(ScanScope::recent(20));

    EXPECT_EQ(rig.service.calls.size(), 7u);
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(6, 1.5));
    for (std::size_t i = 0; i < rig.service.calls.size(); ++i)
        EXPECT_DOUBLE_EQ(rig.service.calls[i].time, 1.5 * double(i));
    EXPECT_TRUE(rig->workspaces().empty());
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 0 tracks. Please scan again.");
    EXPECT_FALSE(rig->lastScanned());
    EXPECT_FALSE(savedLibrary());
    EXPECT_EQ(rig->selected(), (std::set<std::string>{"kept"}));
    // scanning rises before the first text and falls after the last one.
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::pair(true, std::string()));
    EXPECT_EQ(seen.back(),
              std::pair(false, std::string("Scan interrupted at 0 tracks. Please scan again.")));
}

TEST_F(LibraryScanTest, pageThatRecoversWithinSevenAttemptsGoesOn) {
    for (int i = 0; i < 6; ++i)
        rig.service.pages.push_back(BridgeError("Feed HTTP 502"));
    rig.service.pages.push_back(page({clip("A")}, std::nullopt, false));
    scan(ScanScope::full());
    EXPECT_EQ(rig->scanStatus(), "1 workspaces found (1 tracks).");
}

TEST_F(LibraryScanTest, pageWithoutCursorIsReadAgainAndOnlyItsCursorIsUsed) {
    rig.service.pages.push_back(page({clip("A")}, std::nullopt));
    rig.service.pages.push_back(page({clip("B")}, std::nullopt));
    rig.service.pages.push_back(page({clip("C")}, "c2", false)); // only "c2" counts
    rig.service.pages.push_back(page({clip("D")}, std::nullopt, false));
    scan(ScanScope::full());
    EXPECT_EQ(cursorsAsked(), (std::vector<std::string>{"", "", "", "c2"}));
    EXPECT_EQ(rig.clock.pauses(), (std::vector<double>{1.2, 1.2, 0.25}));
    EXPECT_EQ(library(), (decltype(library()){{"A", 1}, {"D", 1}}));
    EXPECT_EQ(rig->scanStatus(), "2 workspaces found (2 tracks).");
}

TEST_F(LibraryScanTest, sixReadsWithoutCursorInterruptTheScan) {
    for (int i = 0; i < 7; ++i)
        rig.service.pages.push_back(page({clip("A", std::to_string(i))}, ""));
    scan(ScanScope::full());
    EXPECT_EQ(rig.service.calls.size(), 7u);
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(6, 1.2));
    EXPECT_EQ(library(), (decltype(library()){{"A", 1}}));
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 1 tracks. Please scan again.");
}

TEST_F(LibraryScanTest, laterFailureShowsWhatWasFoundButKeepsTheSavedLibrary) {
    rig.service.pages.push_back(page({clip("Old")}, std::nullopt, false));
    scan(ScanScope::full());
    const auto scannedAt = rig->lastScanned();

    rig.service.pages.push_back(page({clip("A"), clip("B")}, "c1"));
    rig.clock.at(rig.clock.now() + 100, [] {}); // the next scan happens later
    rig.clock.runUntilIdle();
    scan(ScanScope::recent(5));
    EXPECT_EQ(library(), (decltype(library()){{"A", 1}, {"B", 1}}));
    EXPECT_EQ(rig->scanStatus(), "Scan interrupted at 2 tracks. Please scan again.");
    EXPECT_EQ(rig->lastScanned(), scannedAt);
    EXPECT_EQ(rig->lastScope(), "full");
    EXPECT_EQ(savedLibrary()->workspaces.at(0).id, "Old");
}

TEST_F(LibraryScanTest, endlessFeedStopsAtFourThousandPages) {
    for (int i = 0; i < 4001; ++i)
        rig.service.pages.push_back(page({clip("A", "same")}, "again"));
    scan(ScanScope::full());
    EXPECT_EQ(rig.service.calls.size(), 4000u);
    EXPECT_EQ(rig.clock.pauses().size(), 4000u);
    EXPECT_EQ(library(), (decltype(library()){{"A", 4000}}));
    EXPECT_EQ(rig->scanStatus(), "Scan incomplete.");
    EXPECT_FALSE(rig->lastScanned());
    EXPECT_FALSE(savedLibrary());
    EXPECT_FALSE(rig->scanning());
}
