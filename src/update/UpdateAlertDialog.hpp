#pragma once
// The window side of the update check: the menu command's entry point and
// the modal alert that ends every check.
#include "update/UpdateChecker.hpp"

#include <functional>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

namespace UpdateChecker {

// Opens an address in the user's browser; tests pass their own.
using AddressOpener = std::function<void(Gtk::Window& over, const std::string& address)>;
void openInBrowser(Gtk::Window& over, const std::string& address);

// Starts a check and returns at once; its alert appears over the window when
// the answer is in. Each call is a check of its own.
void checkManually(Gtk::Window& parent);

// Shows the alert, modal over the window: "Download" and "Later" (the
// default) when it offers a download page, whose host the text names, "OK"
// otherwise. "Download" opens the page, and only an http or https address is
// ever opened. The dialog frees
// itself once answered; it is returned for tests to look at and answer.
Gtk::MessageDialog& showAlert(Gtk::Window& parent, const UpdateAlert& alert,
                              AddressOpener open = openInBrowser);

} // namespace UpdateChecker
