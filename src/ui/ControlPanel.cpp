#include "ui/ControlPanel.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/ActionCard.hpp"
#include "ui/DailySwitch.hpp"
#include "ui/DestinationCard.hpp"
#include "ui/FailuresCard.hpp"
#include "ui/LogCard.hpp"
#include "ui/PanelHeader.hpp"
#include "ui/PanelState.hpp"
#include "ui/ResumeCard.hpp"
#include "ui/ScanCard.hpp"
#include "ui/SystemdUserTimer.hpp"
#include "ui/WorkspacesCard.hpp"

#include <algorithm>
#include <gtkmm/box.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/root.h>
#include <utility>

ControlPanel::ControlPanel(DownloadManager& manager)
    : ControlPanel(manager, std::make_shared<SystemdUserTimer>()) {}

ControlPanel::ControlPanel(DownloadManager& manager, std::shared_ptr<DailyTimer> dailyTimer)
    : manager_(manager) {
    set_name("controlPanel");
    Accessibility::setLabel(*this, _("Control panel"));
    Accessibility::nameScrollBars(*this, _("Control panel"));
    set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    set_vexpand(true);
    set_hexpand(true);
    column_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 14);
    auto* column = column_;
    column->set_margin(18);
    header_ = Gtk::make_managed<PanelHeader>(manager);
    column->append(*header_);
    workspaces_ = Gtk::make_managed<WorkspacesCard>(manager);
    destination_ = Gtk::make_managed<DestinationCard>(manager);
    // The daily download fetches into the destination: its switch is there.
    destination_->append(*Gtk::make_managed<DailySwitch>(std::move(dailyTimer)));
    log_ = Gtk::make_managed<LogCard>(manager);
    action_ = Gtk::make_managed<ActionCard>(manager);
    failures_ = Gtk::make_managed<FailuresCard>(manager);
    cards_ = {Gtk::make_managed<ResumeCard>(manager),
              Gtk::make_managed<ScanCard>(manager),
              workspaces_,
              destination_,
              action_,
              failures_,
              log_};
    for (PanelCard* card : cards_)
        column->append(*card);
    set_child(*column);

    changes_ = manager.signalChanged().connect([this](DownloadManager::Property property) {
        // These change what is enabled, and destroy no widget.
        using P = DownloadManager::Property;
        const bool enabling = property == P::running || property == P::scanning ||
                              property == P::selected || property == P::destFolder;
        Gtk::Widget* focused = enabling ? focusedControl() : nullptr;
        header_->refresh(property);
        for (PanelCard* card : cards_)
            card->refresh(property);
        if (focused)
            keepFocus(*focused);
        keepInView(property);
    });
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType state) {
            if (key == GDK_KEY_ISO_Left_Tab)
                return tab(false);
            if (key == GDK_KEY_Tab || key == GDK_KEY_KP_Tab)
                return tab((state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType{});
            return false;
        },
        false);
    add_controller(keys);

    // The enabling rules that depend on running and scanning.
    for (auto property : {DownloadManager::Property::running, DownloadManager::Property::scanning})
        for (PanelCard* card : cards_)
            card->refresh(property);
}

ControlPanel::~ControlPanel() {
    changes_.disconnect();
    if (afterPaint_) {
        g_signal_handler_disconnect(paintClock_, afterPaint_);
        g_object_unref(paintClock_);
    }
}

void ControlPanel::chooseFolder() {
    if (PanelState::choicesEnabled(manager_))
        destination_->chooseFolder();
}

void ControlPanel::scanRecent() {
    if (PanelState::scanControlsEnabled(manager_))
        startDetached(manager_.scan(ScanScope::recent(manager_.recentCount())));
}

bool ControlPanel::focusFirstControl() {
    if (auto* root = get_root())
        root->unset_focus();
    return column_->child_focus(Gtk::DirectionType::TAB_FORWARD);
}

Gtk::Widget* ControlPanel::focusedControl() {
    auto* root = get_root();
    Gtk::Widget* focused = root ? root->get_focus() : nullptr;
    return focused && focused->is_ancestor(*this) ? focused : nullptr;
}

void ControlPanel::keepFocus(Gtk::Widget& was) {
    const auto takesFocus = [](Gtk::Widget& widget) {
        for (Gtk::Widget* at = &widget; at; at = at->get_parent())
            if (!at->get_visible() || !at->get_sensitive())
                return false;
        return widget.get_focusable();
    };
    if (takesFocus(was)) {
        // A control that turned insensitive and back again within one change.
        if (focusedControl() != &was)
            was.grab_focus();
        return;
    }
    // The run's two buttons stand in for each other; otherwise the next
    // control in tab order takes over.
    Gtk::Widget& download = action_->downloadButton();
    Gtk::Widget& cancel = action_->cancelButton();
    if (&was == &download && takesFocus(cancel) && cancel.grab_focus())
        return;
    if (&was == &cancel && takesFocus(download) && download.grab_focus())
        return;
    if (!Accessibility::focusPast(was, true))
        Accessibility::focusPast(was, false);
}

void ControlPanel::collectStops(Gtk::Widget& widget, std::vector<Gtk::Widget*>& stops) {
    if (!widget.get_visible() || !widget.get_sensitive() || !widget.get_can_focus())
        return;
    // A scrolling area is a stop only through what is in it.
    const bool area = dynamic_cast<Gtk::ScrolledWindow*>(&widget) != nullptr;
    // A list is one stop, however long.
    const bool list = dynamic_cast<Gtk::ListView*>(&widget) != nullptr;
    if (list ||
        (!area && widget.get_focusable() && widget.get_mapped() && widget.get_child_visible())) {
        stops.push_back(&widget);
        return;
    }
    for (auto* child = widget.get_first_child(); child; child = child->get_next_sibling())
        collectStops(*child, stops);
}

bool ControlPanel::tab(bool forward) {
    Gtk::Widget* focused = focusedControl();
    if (!focused)
        return false;
    std::vector<Gtk::Widget*> stops;
    collectStops(*column_, stops);
    const auto at = std::find_if(stops.begin(), stops.end(), [focused](Gtk::Widget* stop) {
        return stop == focused || focused->is_ancestor(*stop);
    });
    if (at == stops.end())
        return false;
    Gtk::Widget* list = &workspaces_->list();
    if (*at == list)
        workspaces_->rememberFocusedRow();
    std::ptrdiff_t next = (at - stops.begin()) + (forward ? 1 : -1);
    for (; next >= 0 && next < std::ptrdiff_t(stops.size()); next += forward ? 1 : -1) {
        Gtk::Widget* stop = stops[std::size_t(next)];
        const bool taken = stop == list ? workspaces_->focusRow()
                           : dynamic_cast<Gtk::ListView*>(stop)
                               ? Accessibility::focusWithin(*stop, forward)
                               : stop->grab_focus();
        if (taken)
            return true;
    }
    return false;
}

void ControlPanel::keepInView(DownloadManager::Property property) {
    using P = DownloadManager::Property;
    if (property == P::destFolder && manager_.destFolder() && !manager_.running())
        scrollIntoView(action_->downloadButton());
    else if (property == P::running && manager_.running())
        scrollIntoView(action_->progressSection());
    else if (property == P::running && !manager_.failures().empty())
        scrollIntoView(*failures_); // its heading first, when it does not fit
    else if (property == P::running)
        scrollIntoView(action_->progressSection());
}

void ControlPanel::scrollIntoView(Gtk::Widget& widget) {
    // The widget may have just appeared: scroll once the next frame has
    // laid it out.
    scrollTarget_ = &widget;
    GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(gobj()));
    if (!clock || afterPaint_)
        return;
    paintClock_ = GDK_FRAME_CLOCK(g_object_ref(clock));
    afterPaint_ =
        g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* clock, gpointer data) {
                             auto* panel = static_cast<ControlPanel*>(data);
                             g_signal_handler_disconnect(clock, panel->afterPaint_);
                             panel->afterPaint_ = 0;
                             g_object_unref(clock);
                             if (auto* target = std::exchange(panel->scrollTarget_, nullptr))
                                 panel->scrollNow(*target);
                         }),
                         this);
    gtk_widget_queue_draw(GTK_WIDGET(gobj()));
}

void ControlPanel::scrollNow(Gtk::Widget& widget) {
    graphene_rect_t bounds;
    if (!gtk_widget_compute_bounds(widget.gobj(), GTK_WIDGET(column_->gobj()), &bounds))
        return;
    auto adjustment = get_vadjustment();
    const double top = bounds.origin.y - viewMargin;
    const double bottom = bounds.origin.y + bounds.size.height + viewMargin;
    const double page = adjustment->get_page_size();
    double value = adjustment->get_value();
    if (bottom > value + page)
        value = bottom - page;
    if (top < value)
        value = top;
    adjustment->set_value(std::max(0.0, value));
}
