#include "UpdateHost.hpp"

void UpdateHost::handle(Exchange& exchange) {
    const auto& path = exchange.path();
    if (path == "/wp-json/wp/v2/media/7848" || path == "/wp-json/wp/v2/media/7848/") {
        world_.counters.count("update");
        switch (world_.options.updateResponse) {
        case UpdateResponse::altText:
            exchange.sendJson(SOUP_STATUS_OK, {{"id", 7848},
                                               {"slug", "orvo-wav-downloader-version"},
                                               {"type", "attachment"},
                                               {"media_type", "image"},
                                               {"title", {{"rendered", "Orvo WAV Downloader"}}},
                                               {"alt_text", altText()}});
            return;
        case UpdateResponse::noAltText:
            exchange.sendJson(SOUP_STATUS_OK, {{"id", 7848},
                                               {"slug", "orvo-wav-downloader-version"},
                                               {"type", "attachment"},
                                               {"title", {{"rendered", "Orvo WAV Downloader"}}}});
            return;
        case UpdateResponse::notJson:
            exchange.sendHtml(SOUP_STATUS_OK,
                              "<!DOCTYPE html>\n<html><head><title>Maintenance</title></head>"
                              "<body><h1>Briefly unavailable for scheduled maintenance.</h1>"
                              "<p>Check back in a minute.</p></body></html>\n");
            return;
        case UpdateResponse::notFound:
            break;
        case UpdateResponse::stall:
            exchange.stall();
            return;
        }
    } else if (path == "/download" || path == "/download/") {
        world_.counters.count("download_page");
        exchange.sendHtml(SOUP_STATUS_OK,
                          "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                          "<title>Orvo WAV Downloader</title></head><body>"
                          "<h1>Orvo WAV Downloader</h1><p>The latest version is ready to "
                          "download.</p></body></html>\n");
        return;
    } else {
        world_.counters.count("not_found");
    }
    exchange.sendJson(SOUP_STATUS_NOT_FOUND, {{"code", "rest_post_invalid_id"},
                                              {"message", "Invalid post ID."},
                                              {"data", {{"status", 404}}}});
}

std::string UpdateHost::altText() const {
    std::string text =
        world_.options.updateAltText.value_or(std::string(ORVO_SIM_VERSION) + "|{origin}/download");
    constexpr std::string_view placeholder = "{origin}";
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + world_.updateOrigin.size()))
        text.replace(at, placeholder.size(), world_.updateOrigin);
    return text;
}
