#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/LibrarySnapshot.hpp"

namespace {

LibrarySnapshot sample() {
    using namespace std::chrono;
    return LibrarySnapshot{
        {Workspace{"p1", "Demos", {{"c1", "Night Drive", true}, {"c2", "Dawn", false}}},
         Workspace{"", "Empty id", {}},
         Workspace{"p3", "Ünïcode \"quoted\" \\ / \n\t\x01 ✓", {{"c3", "", false}}}},
        Date{sys_days{year{2026} / 12 / 6}} + hours{14} + microseconds{123456},
        std::string("recent 20")};
}

void expectUnreadable(const std::string& document) {
    EXPECT_THROW(LibrarySnapshot::decode(document), SnapshotError) << document;
}

} // namespace

TEST(LibrarySnapshot, roundTripKeepsEveryWorkspaceClipDateAndScope) {
    LibrarySnapshot snapshot = sample();
    EXPECT_EQ(LibrarySnapshot::decode(snapshot.encode()), snapshot);
    // No label means no scope member at all.
    snapshot.scope.reset();
    EXPECT_FALSE(nlohmann::json::parse(snapshot.encode()).contains("scope"));
    EXPECT_EQ(LibrarySnapshot::decode(snapshot.encode()), snapshot);
}

TEST(LibrarySnapshot, encodesCompactlyWithExactlyTheKnownMembers) {
    const std::string text = sample().encode();
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    const auto json = nlohmann::json::parse(text);
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"scannedAt", "scope", "workspaces"}));
    EXPECT_EQ(json["workspaces"][0]["clips"][0],
              nlohmann::json({{"id", "c1"}, {"title", "Night Drive"}, {"liked", true}}));
    // 2026-12-06 14:00:00.123456 UTC counted from 2001-01-01.
    EXPECT_DOUBLE_EQ(json["scannedAt"].get<double>(), 818258400.123456);
}

TEST(LibrarySnapshot, readsOrderFreeDocumentsIgnoringExtrasAndNullScope) {
    const auto snapshot = LibrarySnapshot::decode(
        R"({"version":3,"scope":null,"scannedAt":0,
            "workspaces":[{"clips":[{"liked":false,"extra":[1,{}],"title":"T","id":"c"}],
                           "name":"N","id":"w","colour":"red"}]})");
    EXPECT_EQ(snapshot.scope, std::nullopt);
    EXPECT_EQ(snapshot.scannedAt, Date{DateFormat::referenceDay});
    ASSERT_EQ(snapshot.workspaces.size(), 1u);
    EXPECT_EQ(snapshot.workspaces[0], (Workspace{"w", "N", {{"c", "T", false}}}));
    // An integer date is the same instant as its fractional form.
    EXPECT_EQ(LibrarySnapshot::decode(R"({"workspaces":[],"scannedAt":818258400})").scannedAt,
              LibrarySnapshot::decode(R"({"workspaces":[],"scannedAt":818258400.0})").scannedAt);
}

TEST(LibrarySnapshot, anyMissingOrMistypedRequiredMemberFailsTheWholeDocument) {
    expectUnreadable("");
    expectUnreadable("not json");
    expectUnreadable(R"({"workspaces":[],"scannedAt":1)"); // cut short
    expectUnreadable("[]");
    expectUnreadable(R"({"workspaces":[]})");                 // no scannedAt
    expectUnreadable(R"({"scannedAt":1})");                   // no workspaces
    expectUnreadable(R"({"workspaces":[],"scannedAt":"1"})"); // date as text
    expectUnreadable(R"({"workspaces":{},"scannedAt":1})");
    expectUnreadable(R"({"workspaces":[],"scannedAt":1,"scope":20})");
    expectUnreadable(R"({"workspaces":[],"scannedAt":1e300})");
    expectUnreadable(R"({"workspaces":[{"id":"w","name":"N"}],"scannedAt":1})");
    expectUnreadable(R"({"workspaces":[{"id":1,"name":"N","clips":[]}],"scannedAt":1})");
    expectUnreadable(R"({"workspaces":[{"id":"w","name":"N","clips":[null]}],"scannedAt":1})");
    // One good workspace does not save a document whose clip lacks "liked".
    expectUnreadable(R"({"workspaces":[{"id":"a","name":"A","clips":[]},
                        {"id":"w","name":"N","clips":[{"id":"c","title":"T"}]}],"scannedAt":1})");
    expectUnreadable(R"({"workspaces":[{"id":"w","name":"N",
                        "clips":[{"id":"c","title":"T","liked":1}]}],"scannedAt":1})");
}

TEST(LibrarySnapshot, titlesThatAreNotUtf8AreRepairedSoTheFileStaysReadable) {
    LibrarySnapshot snapshot = sample();
    using namespace std::string_literals;
    snapshot.workspaces[0].clips[0].title = "bad \xff\xfe bytes"s;
    snapshot.workspaces[0].clips[1].title = "nul\0inside \xff"s;
    const auto read = LibrarySnapshot::decode(snapshot.encode());
    EXPECT_EQ(read.workspaces[0].clips[0].title, "bad \xef\xbf\xbd\xef\xbf\xbd bytes");
    EXPECT_EQ(read.workspaces[0].clips[1].title, "nul\0inside \xef\xbf\xbd"s);
}
