#include <gtest/gtest.h>

#include "model/FailedItem.hpp"
#include "model/Origins.hpp"
#include "model/ScanScope.hpp"
#include "model/Workspace.hpp"

TEST(Workspace, likedClipsKeepsOrderAndIsEmptyWithoutLikes) {
    EXPECT_TRUE((Workspace{"w", "W", {{"a", "A", false}, {"b", "B", false}}}).likedClips().empty());
    Workspace mixed{"w", "W", {{"a", "A", true}, {"b", "B", false}, {"c", "C", true}}};
    EXPECT_EQ(mixed.likedClips(), (std::vector<WClip>{{"a", "A", true}, {"c", "C", true}}));

    Workspace all{"w", "W", {{"a", "A", true}, {"b", "B", true}}};
    EXPECT_EQ(all.likedClips(), all.clips);
}

TEST(ScanScope, labelsNameTheScope) {
    EXPECT_EQ(ScanScope::full().label(), "full");
    EXPECT_EQ(ScanScope::recent(20).label(), "recent 20");
}

TEST(Origins, songLinksJoinTheIdUnchangedAndRejectInvalidAddresses) {
    const Origins origins{"https://orvo.example", "https://api.orvo.example", "https://u.example"};
    EXPECT_EQ(origins.songURL("abc"), "https://orvo.example/song/abc");
    EXPECT_EQ(origins.homePage(), "https://orvo.example/");
    EXPECT_EQ(origins.songURL("a b"), std::nullopt);
    EXPECT_EQ(origins.songURL("50%zz"), std::nullopt);
}

TEST(Origins, environmentOverridesTheBuiltInOrigins) {
    setenv("ORVO_WEB_ORIGIN", "http://127.0.0.1:8123/", 1);
    const Origins origins = Origins::fromEnvironment();
    unsetenv("ORVO_WEB_ORIGIN");
    EXPECT_EQ(origins.web, "http://127.0.0.1:8123");
    EXPECT_EQ(FailedItem({"abc", "T", "W"}).orvoURL().value_or("").substr(0, 4), "http");
}
