#include "app/ContentView.hpp"

#include "session/OrvoBridge.hpp"
#include "ui/Accessibility.hpp"
#include "ui/AgreementView.hpp"
#include "ui/ControlPanel.hpp"

#include <glibmm/main.h>

ContentView::ContentView(SettingsStore& settings) : settings_(settings) {
    set_name("contentView");
    // The one container everything else is in, named like the window.
    Accessibility::setLabel(*this, "Orvo WAV Downloader");
    add_css_class("orvo-root");
    set_child(signIn_);
    update();
}

void ContentView::attach(OrvoBridge& bridge, DownloadManager& manager) {
    if (bridge_)
        return;
    bridge_ = &bridge;
    manager_ = &manager;
    signIn_.host().setWebView(bridge.webView());
    loggedIn_ = bridge.loggedInChanged().connect([this] { update(); });
    unreachable_ = bridge.unreachableChanged().connect([this] { update(); });
    pageChanged_ = bridge.pageChanged().connect([this] { update(); });
    signIn_.signalTryAgain().connect([this] { bridge_->retry(); });
    updatedOnce_ = false; // the page is new: give it the keyboard if it shows
    update();
}

ContentView::~ContentView() {
    loggedIn_.disconnect();
    unreachable_.disconnect();
    pageChanged_.disconnect();
}

void ContentView::agree() {
    settings_.setBoolean(agreedToTermsKey, true);
    // The button that called this belongs to the agreement screen: take
    // the screen down once its click has been handled.
    Glib::signal_idle().connect_once([this] { update(); });
}

void ContentView::update() {
    const bool agreed = settings_.boolean(agreedToTermsKey);
    const Screen before = screen_;
    screen_ = !agreed                                                     ? Screen::agreement
              : bridge_ && bridge_->loggedIn() && !bridge_->unreachable() ? Screen::controlPanel
                                                                          : Screen::signIn;

    if (screen_ == Screen::agreement && !agreement_) {
        agreement_ = Gtk::make_managed<AgreementView>([this] { agree(); });
        add_overlay(*agreement_);
    } else if (screen_ != Screen::agreement && agreement_) {
        remove_overlay(*agreement_);
        agreement_ = nullptr;
    }
    if (screen_ == Screen::controlPanel && !panel_) {
        panel_ = Gtk::make_managed<ControlPanel>(*manager_);
        panel_->add_css_class("orvo-root");
        add_overlay(*panel_);
    }
    // Kept while signed out again, so the panel comes back as it was.
    if (panel_)
        panel_->set_visible(screen_ == Screen::controlPanel);
    signIn_.setShown(screen_ == Screen::signIn);
    signIn_.setLostNotice(screen_ == Screen::signIn && bridge_ && bridge_->sessionLost());
    signIn_.setUnreachable(bridge_ && bridge_->unreachable());
    signIn_.setPageHost(screen_ == Screen::signIn && bridge_ ? bridge_->signInHost() : "");
    // The keyboard goes where the user is now; never to the hidden page.
    if (screen_ == Screen::controlPanel && before != Screen::controlPanel)
        panel_->focusFirstControl();
    // The page puts its cursor in the email field: let the keyboard reach it.
    if (auto* page = signIn_.host().webView();
        page && screen_ == Screen::signIn && (before != Screen::signIn || !updatedOnce_))
        page->grab_focus();
    updatedOnce_ = true;
}
