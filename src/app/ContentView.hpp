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
//
// The window is drawn first; the page and the manager arrive with attach()
// a moment later, so start-up shows something at once.
class ContentView : public Gtk::Overlay {
  public:
    enum class Screen { agreement, signIn, controlPanel };
    // Set once the user has accepted the agreement; nothing clears it.
    static constexpr const char* agreedToTermsKey = "agreedToTermsV1";

    explicit ContentView(SettingsStore& settings);
    ~ContentView() override;

    // Puts the page in the window and follows its sign-in; once only.
    void attach(OrvoBridge& bridge, DownloadManager& manager);

    Screen screen() const { return screen_; }
    SignInView& signInView() { return signIn_; }
    // The control panel, once the page is signed in.
    ControlPanel* panel() { return panel_; }

  private:
    void update();
    void agree();

    OrvoBridge* bridge_ = nullptr;
    DownloadManager* manager_ = nullptr;
    SettingsStore& settings_;
    SignInView signIn_;
    AgreementView* agreement_ = nullptr;
    ControlPanel* panel_ = nullptr;
    Screen screen_ = Screen::signIn;
    bool updatedOnce_ = false; // update() has run once
    sigc::connection loggedIn_;
    sigc::connection unreachable_;
    sigc::connection pageChanged_;
};
