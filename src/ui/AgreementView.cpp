#include "ui/AgreementView.hpp"

#include "ui/Accessibility.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/Card.hpp"
#include "ui/LogoMark.hpp"
#include "ui/PanelWidgets.hpp"
#include "ui/SectionLabel.hpp"

#include <gtkmm/scrolledwindow.h>
#include <gtkmm/separator.h>

const std::vector<AgreementView::Section>& AgreementView::sections() {
    static const std::vector<Section> all{
        {"Getting started",
         {"Sign in to your Orvo account when prompted.",
          "Scan your library — select Recent for your most recent workspaces, or All for your "
          "entire catalogue.",
          "Select the workspaces you wish to download. Keep “Liked tracks only” enabled to "
          "export just your preferred takes.",
          "Choose a destination folder and select Download. Each workspace is saved to its own "
          "clearly labelled sub-folder.",
          "Tracks that are slow to process are retried automatically. Any that cannot be "
          "completed are listed with a direct link to Orvo for manual download."}},
        {"Important information",
         {"This application is intended for downloading music created on your own Orvo "
          "account.",
          "It is an independent product and is not affiliated with, endorsed by, or supported "
          "by Orvo.",
          "The application relies on Orvo’s service. If Orvo modifies or discontinues "
          "functionality, some features may be unavailable until an update is released.",
          "The application is provided “as is”, without warranty of any kind. Use is at your "
          "own discretion and risk.",
          "The developer accepts no liability for any loss or corruption of files, account "
          "issues, or the use of downloaded content. You remain responsible for complying with "
          "Orvo’s Terms of Service."}},
        {"Your privacy",
         {"Your music and Orvo account remain solely between your device and Orvo. No data is "
          "routed through the developer or any third-party service.",
          "Downloads are transferred directly from Orvo to your device. The application simply "
          "automates a task you could otherwise perform manually, one track at a time.",
          "Your Orvo credentials and files are never viewed, stored, or transmitted."}},
    };
    return all;
}

AgreementView::AgreementView(std::function<void()> onAgree)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0), onAgree_(std::move(onAgree)) {
    set_name("agreementView");
    add_css_class("orvo-root");

    auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    header->set_margin(18);
    header->append(*logoMark(40));
    auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    texts->set_valign(Gtk::Align::CENTER);
    texts->append(*PanelWidgets::label("size-19 bold text-primary", "Orvo WAV Downloader"));
    texts->append(*PanelWidgets::label("size-12 text-secondary",
                                       "Please review the following before you begin."));
    header->append(*texts);
    append(*header);

    auto* cards = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 14);
    cards->set_margin_start(18);
    cards->set_margin_end(18);
    cards->set_margin_bottom(18);
    for (const Section& section : sections()) {
        auto* card = Gtk::make_managed<Card>(8);
        card->append(*Gtk::make_managed<SectionLabel>(section.title));
        for (const char* text : section.bullets)
            card->append(*bullet(text));
        cards->append(*card);
    }
    auto* body = Gtk::make_managed<Gtk::ScrolledWindow>();
    body->set_name("agreementBody");
    Accessibility::setLabel(*body, "Agreement");
    Accessibility::nameScrollBars(*body, "Agreement");
    body->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    body->set_vexpand(true);
    body->set_child(*cards);
    append(*body);

    auto* line = Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL);
    line->add_css_class("border-line");
    append(*line);
    auto* footer = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    footer->add_css_class("footer");
    footer->append(*PanelWidgets::gap());
    auto* accept = Gtk::make_managed<Gtk::Button>("Accept & Continue");
    accept->set_name("accept");
    PrimaryButtonStyle::apply(*accept);
    accept->signal_clicked().connect([this] {
        if (onAgree_)
            onAgree_();
    });
    footer->append(*accept);
    append(*footer);
    // The one thing to do here has the keyboard from the start.
    signal_map().connect([accept] { accept->grab_focus(); });
}

Gtk::Widget* AgreementView::bullet(const std::string& text) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    auto* dot = Gtk::make_managed<Gtk::Box>();
    dot->add_css_class("pool-dot");
    dot->set_size_request(6, 6);
    dot->set_valign(Gtk::Align::START);
    dot->set_halign(Gtk::Align::START);
    dot->set_margin_top(6);
    row->append(*dot);
    auto* label = PanelWidgets::label("size-13 text-primary", text);
    label->set_wrap(true);
    label->set_wrap_mode(Pango::WrapMode::WORD_CHAR);
    label->set_hexpand(true);
    label->set_valign(Gtk::Align::START);
    row->append(*label);
    return row;
}
