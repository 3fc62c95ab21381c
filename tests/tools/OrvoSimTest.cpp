// The stand-in service over plain HTTP, as the app's page scripts and its
// downloader meet it.
#include "support/StandInService.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <map>
#include <optional>

namespace {

struct Answer {
    unsigned status = 0;
    std::string body;
    std::map<std::string, std::string> headers; // names in lower case

    nlohmann::json json() const { return nlohmann::json::parse(body); }
    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

using Headers = std::vector<std::pair<std::string, std::string>>;

// One request with libsoup's plain client; the whole body is read.
Answer send(const char* method, const std::string& address, const Headers& headers = {},
            const std::optional<std::string>& body = std::nullopt) {
    SoupSession* session = soup_session_new_with_options("timeout", 10, nullptr);
    SoupMessage* message = soup_message_new(method, address.c_str());
    for (const auto& [name, value] : headers)
        soup_message_headers_replace(soup_message_get_request_headers(message), name.c_str(),
                                     value.c_str());
    if (body) {
        GBytes* bytes = g_bytes_new(body->data(), body->size());
        soup_message_set_request_body_from_bytes(message, "application/json", bytes);
        g_bytes_unref(bytes);
    }
    GError* error = nullptr;
    GBytes* bytes = soup_session_send_and_read(session, message, nullptr, &error);
    Answer answer;
    answer.status = soup_message_get_status(message);
    if (bytes) {
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        answer.body.assign(data ? data : "", size);
        g_bytes_unref(bytes);
    }
    SoupMessageHeadersIter iter;
    const char *name, *value;
    soup_message_headers_iter_init(&iter, soup_message_get_response_headers(message));
    while (soup_message_headers_iter_next(&iter, &name, &value))
        answer.headers[g_ascii_strdown(name, -1)] = value;
    g_object_unref(message);
    g_object_unref(session);
    if (error) {
        ADD_FAILURE() << method << " " << address << ": " << error->message;
        g_error_free(error);
    }
    return answer;
}

Headers bearer(const std::string& token = StandInService::acceptedToken) {
    return {{"Authorization", "Bearer " + token}};
}

Answer feed(const StandInService& service, const nlohmann::json& body,
            const Headers& headers = bearer()) {
    return send("POST", service.apiOrigin() + "/api/feed/v3", headers, body.dump());
}

} // namespace

TEST(OrvoSimTest, printsThreeDistinctLoopbackOriginsAndStopsCleanly) {
    StandInService service;
    for (const auto* origin : {&service.webOrigin(), &service.apiOrigin(), &service.updateOrigin()})
        EXPECT_TRUE(origin->starts_with("http://127.0.0.1:")) << *origin;
    EXPECT_NE(service.webOrigin(), service.apiOrigin());
    EXPECT_NE(service.apiOrigin(), service.updateOrigin());
    EXPECT_NE(service.webOrigin(), service.updateOrigin());
    EXPECT_EQ(service.stop(), 0);
}

TEST(OrvoSimTest, everyApiRouteAnswers401WithoutAValidToken) {
    StandInService service;
    const auto& api = service.apiOrigin();
    for (const auto& headers : {Headers{}, bearer("made-up")}) {
        EXPECT_EQ(feed(service, {{"page", 0}}, headers).status, 401u);
        EXPECT_EQ(send("POST", api + "/api/gen/x/convert_wav/", headers).status, 401u);
        EXPECT_EQ(send("GET", api + "/api/gen/x/wav_file/", headers).status, 401u);
        EXPECT_EQ(send("GET", api + "/api/download/clip/x?format=mp3", headers).status, 401u);
        EXPECT_EQ(send("POST", api + "/api/billing/clips/x/download/", headers).status, 401u);
    }
    EXPECT_EQ(service.counters()["routes"]["unauthorized"], 10);
}
