#include <gtest/gtest.h>

#include "model/Origins.hpp"

TEST(Origins, songLinksAndTheEnvironmentsOrigin) {
    const Origins origins{"https://orvo.example", "https://api.orvo.example", "https://u.example"};
    EXPECT_EQ(origins.songURL("abc"), "https://orvo.example/song/abc");
    EXPECT_EQ(origins.homePage(), "https://orvo.example/");
    // The id stays one path segment of the song page, whatever it holds.
    EXPECT_EQ(origins.songURL("a b"), "https://orvo.example/song/a%20b");
    EXPECT_EQ(origins.songURL("50%zz"), "https://orvo.example/song/50%25zz");
    EXPECT_EQ(origins.songURL("../../billing/x?y#z\u00e9"),
              "https://orvo.example/song/..%2F..%2Fbilling%2Fx%3Fy%23z%C3%A9");
    for (const char* id : {"", ".", ".."})
        EXPECT_EQ(origins.songURL(id), std::nullopt) << id;

    // The environment overrides the built-in web origin, without its final slash.
    setenv("ORVO_WEB_ORIGIN", "http://127.0.0.1:8123/", 1);
    EXPECT_EQ(Origins::fromEnvironment().web, "http://127.0.0.1:8123");
    unsetenv("ORVO_WEB_ORIGIN");
}

// Origins compare as a page's location.origin reads them.
TEST(Origins, serviceAddressesAreOnTheWebSiteOrASignInOrigin) {
    EXPECT_EQ(Origins::originOf("http://[::1]:9/"), "http://[::1]:9");
    EXPECT_EQ(Origins::originOf("http://127.0.0.1:80"), "http://127.0.0.1");
    Origins origins{"https://orvo.example", "https://api.orvo.example", "https://u.example"};
    origins.signIn = {"https://accounts.orvo.example"};
    for (const char* address : {"https://orvo.example/song/1", "HTTPS://ORVO.example:443/x#y",
                                "https://accounts.orvo.example/sign-in?x=1"})
        EXPECT_TRUE(origins.isService(address)) << address;
    for (const char* address : {"http://orvo.example/", "https://orvo.example.evil/",
                                "https://api.orvo.example/", "https://orvo.example:8443/",
                                "about:blank", "data:text/html,x", "not an address"})
        EXPECT_FALSE(origins.isService(address)) << address;

    setenv("ORVO_SIGN_IN_ORIGINS", "https://a.example  https://b.example", 1);
    EXPECT_EQ(Origins::fromEnvironment().signIn,
              (std::vector<std::string>{"https://a.example", "https://b.example"}));
    unsetenv("ORVO_SIGN_IN_ORIGINS");
}
