#pragma once
#include <gtkmm/box.h>

// A white panel with a hairline border and a faint shadow. It spans the
// width it is given and keeps its content at the left edge.
class Card : public Gtk::Box {
  public:
    // The content is laid out as a column with this spacing.
    explicit Card(int spacing);
};
