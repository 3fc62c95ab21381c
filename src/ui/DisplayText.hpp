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
// Beyond maxCombiningMarks marks on one character, the rest are dropped.
std::string line(std::string_view text);
inline constexpr int maxCombiningMarks = 4;

// line() for a text the app composed around a title or a name ("Saved: …"):
// laid out in the direction of the app's language (left to right in
// English) whatever the first letters are, so a title in another script
// does not turn the whole line around. The isolates
// the app put around each name (FSI … PDI, one level) are kept, and one left
// open is closed at the end; any other direction control becomes U+FFFD.
std::string composed(std::string_view text);

// At most maxCharacters characters (code points) of a UTF-8 text, with an
// ellipsis when cut. The cut falls where a character begins (not between a
// letter and its marks) and closes the isolates it leaves open, ahead of
// the ellipsis.
std::string clipped(std::string_view text, std::size_t maxCharacters);

// line(), isolated in its own direction (FSI … PDI), for a name shown
// among other text.
std::string name(std::string_view text);

// Upper case by Unicode's simple mapping, the same in every locale (for
// captions).
std::string upperCase(std::string_view text);

} // namespace DisplayText
