#include <gtest/gtest.h>

#include "model/Origins.hpp"

TEST(Origins, songLinksAndTheEnvironmentsOrigin) {
    const Origins origins{"https://orvo.example", "https://api.orvo.example", "https://u.example"};
    EXPECT_EQ(origins.songURL("abc"), "https://orvo.example/song/abc");
    EXPECT_EQ(origins.homePage(), "https://orvo.example/");
    EXPECT_EQ(origins.songURL("a b"), std::nullopt);
    EXPECT_EQ(origins.songURL("50%zz"), std::nullopt);

    // The environment overrides the built-in web origin, without its final slash.
    setenv("ORVO_WEB_ORIGIN", "http://127.0.0.1:8123/", 1);
    EXPECT_EQ(Origins::fromEnvironment().web, "http://127.0.0.1:8123");
    unsetenv("ORVO_WEB_ORIGIN");
}
