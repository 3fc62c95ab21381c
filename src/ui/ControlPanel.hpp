#pragma once
#include "manager/DownloadManager.hpp"
#include "ui/DailyTimer.hpp"

#include <gtkmm/box.h>
#include <gtkmm/scrolledwindow.h>
#include <memory>
#include <sigc++/connection.h>

class PanelHeader;
class PanelCard;
class WorkspacesCard;
class DestinationCard;
class LogCard;
class ActionCard;
class FailuresCard;

// The signed-in window: a scrolling column of the header and the cards.
// It keeps nothing of the manager's: every change the manager announces
// goes to the parts that show that property.
//
// What the user acts on next is kept in view: the download button once a
// folder is chosen, the progress when a run starts, and when it ends the
// failures (or the summary). And the keyboard focus is never lost: when
// the focused control turns insensitive or disappears, the focus moves on.
class ControlPanel : public Gtk::ScrolledWindow {
  public:
    // The daily download's switch works the user's systemd timer.
    explicit ControlPanel(DownloadManager& manager);
    ControlPanel(DownloadManager& manager, std::shared_ptr<DailyTimer> dailyTimer);
    ~ControlPanel() override;

    WorkspacesCard& workspacesCard() { return *workspaces_; }
    DestinationCard& destinationCard() { return *destination_; }
    LogCard& logCard() { return *log_; }
    FailuresCard& failuresCard() { return *failures_; }

    // The keyboard shortcuts' commands: each does what its button does, when
    // the button may be pressed.
    void chooseFolder();
    void scanRecent();

    // Gives the keyboard to the panel's first control.
    bool focusFirstControl();


    // Scrolls the panel, after the next layout, so that the widget (inside
    // the panel) is wholly in view, or at least its top.
    void scrollIntoView(Gtk::Widget& widget);


  private:
    // The focused widget, when it is inside the panel.
    Gtk::Widget* focusedControl();
    // A control that had the focus before a change and can no longer hold
    // it hands it on.
    void keepFocus(Gtk::Widget& was);
    void keepInView(DownloadManager::Property property);
    // What Tab (forward) and Shift+Tab do: the next or previous control in
    // order, the workspace list being one stop; false past either end,
    // where the window takes over.
    bool tab(bool forward);
    void collectStops(Gtk::Widget& widget, std::vector<Gtk::Widget*>& stops);
    void scrollNow(Gtk::Widget& widget);

    DownloadManager& manager_;
    Gtk::Box* column_;
    PanelHeader* header_;
    ActionCard* action_;
    FailuresCard* failures_;
    WorkspacesCard* workspaces_;
    DestinationCard* destination_;
    LogCard* log_;
    std::vector<PanelCard*> cards_;
    sigc::connection changes_;
    Gtk::Widget* scrollTarget_ = nullptr;
    gulong afterPaint_ = 0;
    GdkFrameClock* paintClock_ = nullptr; // the clock afterPaint_ is on
    static constexpr double viewMargin = 18;
};
