#pragma once
#include "app/SignInView.hpp"
#include "manager/DownloadManager.hpp"
#include "manager/SettingsStore.hpp"

#include <gtkmm/overlay.h>
#include <sigc++/connection.h>

class OrvoBridge;
class AgreementView;
class ControlPanel;

// The window's content. Underneath lies the sign-in view with the one live
// Orvo page; over it, the agreement until the user has accepted it once,
// then nothing until the page is signed in, then the control panel for the
// rest of the run. The page is never moved or reloaded by the switch: it
// shrinks behind the cover instead.
class ContentView : public Gtk::Overlay {
  public:
    enum class Screen { agreement, signIn, controlPanel };

    ContentView(OrvoBridge& bridge, DownloadManager& manager, SettingsStore& settings);
    ~ContentView() override;

    Screen screen() const { return screen_; }
    SignInView& signInView() { return signIn_; }

  private:
    void update();
    void agree();

    OrvoBridge& bridge_;
    DownloadManager& manager_;
    SettingsStore& settings_;
    SignInView signIn_;
    AgreementView* agreement_ = nullptr;
    ControlPanel* panel_ = nullptr;
    Screen screen_ = Screen::signIn;
    bool updatedOnce_ = false; // update() has run once
    sigc::connection loggedIn_;
};
