#pragma once
#include "HttpServer.hpp"
#include "World.hpp"

// The service's web site: home page with sign-in (form and provider
// pop-ups), the page's sign-in client and its session and token routes, and
// the track pages.
class WebSite {
  public:
    explicit WebSite(World& world) : world_(world) {}
    void handle(Exchange& exchange);

  private:
    void home(Exchange& exchange, int status, const std::string& error);
    void signIn(Exchange& exchange);
    void provider(Exchange& exchange);
    void song(Exchange& exchange, const std::string& id);
    std::optional<std::string> session(const Exchange& exchange) const;

    World& world_;
};
