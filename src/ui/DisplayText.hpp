#pragma once
#include <string>
#include <string_view>

// Titles and workspace names come from the service and may hold anything.
// These make a text safe to show on one line without changing what is
// stored: a NUL cannot cut it short, a line break cannot split it, and a
// direction override cannot reverse the text around it.
namespace DisplayText {

// Control characters (C0, DEL, C1, line and paragraph separators) become
// visible symbols (U+2400 "control pictures", or U+FFFD); explicit
// direction embeddings, overrides and isolates become U+FFFD; bytes that
// are not UTF-8 become U+FFFD. Everything else is kept.
std::string line(std::string_view text);

// line(), isolated in its own direction (FSI … PDI), for a name shown
// among other text.
std::string name(std::string_view text);

// Upper case by Unicode's simple mapping, the same in every locale (for
// captions).
std::string upperCase(std::string_view text);

} // namespace DisplayText
