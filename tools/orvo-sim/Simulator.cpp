#include "Simulator.hpp"

#include <cmath>
#include <iostream>

Simulator::Simulator(Options options, Catalogue catalogue)
    : world_(std::move(options), std::move(catalogue)) {
    auto handlerFor = [this](const char* site, void (Simulator::*handler)(Exchange&)) {
        return [this, site, handler](Exchange& exchange) { serve(exchange, site, handler); };
    };
    webServer_ =
        std::make_unique<HttpServer>(world_.options.webPort, handlerFor("web", &Simulator::web));
    apiServer_ =
        std::make_unique<HttpServer>(world_.options.apiPort, handlerFor("api", &Simulator::api));
    updateServer_ = std::make_unique<HttpServer>(world_.options.updatePort,
                                                 handlerFor("update", &Simulator::update));
    storageServer_ = std::make_unique<HttpServer>(world_.options.storagePort,
                                                  handlerFor("storage", &Simulator::storage));
    world_.webOrigin = webServer_->origin();
    world_.apiOrigin = apiServer_->origin();
    world_.updateOrigin = updateServer_->origin();
    world_.storageOrigin = storageServer_->origin();
}

std::string Simulator::originsLine() const {
    // Key order matters to readers that match the line as text.
    return nlohmann::ordered_json{{"web", world_.webOrigin},
                                  {"api", world_.apiOrigin},
                                  {"update", world_.updateOrigin},
                                  {"storage", world_.storageOrigin}}
        .dump();
}

void Simulator::serve(Exchange& exchange, const char* site, void (Simulator::*handler)(Exchange&)) {
    if (world_.options.verbose)
        std::cerr << "orvo-sim: " << site << " " << exchange.method() << " " << exchange.path()
                  << "\n";
    try {
        if (exchange.tooLarge()) {
            world_.counters.count("too_large");
            exchange.sendJson(SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE,
                              {{"detail", "Request body too large"}});
        } else if (exchange.path().starts_with("/_sim/"))
            control(exchange);
        else
            (this->*handler)(exchange);
    } catch (const std::exception& error) {
        // A fault of the stand-in itself: say so rather than drop the connection.
        std::cerr << "orvo-sim: " << exchange.method() << " " << exchange.path() << ": "
                  << error.what() << "\n";
        exchange.sendJson(SOUP_STATUS_INTERNAL_SERVER_ERROR, {{"detail", "Internal Server Error"}});
    }
}

void Simulator::control(Exchange& exchange) {
    if (!exchange.fromLoopback()) {
        exchange.sendJson(SOUP_STATUS_FORBIDDEN, {{"detail", "Loopback clients only"}});
        return;
    }
    const auto& path = exchange.path();
    const auto& method = exchange.method();
    if (path == "/_sim/counters" && method == "GET") {
        auto counters = world_.counters.toJson();
        counters["feed_calls"] = world_.feedCalls;
        exchange.sendJson(SOUP_STATUS_OK, counters);
    } else if (path == "/_sim/counters" && method == "DELETE") {
        world_.counters.reset();
        exchange.sendJson(SOUP_STATUS_OK, {{"reset", true}});
    } else if (path == "/_sim/sessions" && method == "DELETE") {
        world_.accounts.endAll();
        exchange.sendJson(SOUP_STATUS_OK, {{"ended", true}});
    } else if (path == "/_sim/clock" && method == "POST") {
        const auto text = exchange.query("advance").value_or("");
        char* end = nullptr;
        const double seconds = g_ascii_strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0) {
            exchange.sendJson(SOUP_STATUS_BAD_REQUEST,
                              {{"detail", "advance wants a number of seconds, 0 or more"}});
            return;
        }
        world_.clock.advance(seconds);
        exchange.sendJson(SOUP_STATUS_OK, {{"advanced", seconds}});
    } else {
        exchange.sendJson(SOUP_STATUS_NOT_FOUND, {{"detail", "Not Found"}});
    }
}
