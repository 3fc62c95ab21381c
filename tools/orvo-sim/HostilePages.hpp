#pragma once
#include "HttpServer.hpp"
#include "World.hpp"

// Pages that attack the app's embedded page, served only with
// --hostile-pages. On the web origin: /hostile/leave moves the page to the
// impostor by script, /hostile/redirect by a redirect, /hostile/downloads
// starts a download through <a download> and one through an attachment
// answer. On the storage origin: /impostor, a page that claims a signed-in
// session and answers the API's requests itself. With --hostile-sign-in, on
// the storage origin: /hostile/frame, a frame the signed-out home page
// holds that keeps asking for windows, and /hostile/frame-window, the page
// it asks for. With --sign-in-redirect: /accounts/sign-in, where the home
// page sends a session that has ended.
class HostilePages {
  public:
    explicit HostilePages(World& world) : world_(world) {}
    // False when the request is not one of these pages (or they are off).
    bool handleWeb(Exchange& exchange);
    bool handleStorage(Exchange& exchange);

  private:
    std::string impostor() const { return world_.storageOrigin + "/impostor"; }
    World& world_;
};
