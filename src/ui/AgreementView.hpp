#pragma once
#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <string>
#include <vector>

// The first-use screen: how to use the app, what it relies on and what it
// does with the user's data, and one button to accept.
class AgreementView : public Gtk::Box {
  public:
    struct Section {
        const char* title;
        std::vector<const char*> bullets;
    };
    static const std::vector<Section>& sections();

    explicit AgreementView(std::function<void()> onAgree);

  private:
    static Gtk::Widget* bullet(const std::string& text);
    std::function<void()> onAgree_;
};
