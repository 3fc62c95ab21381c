#pragma once
#include <cstdint>
#include <glib.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// The app's texts in the desktop's language, through gettext. The English
// texts in the source are the message ids. A text with values in it names
// them in braces ("Saved: {title}"), so a translation may put them in any
// order; fill() puts the values in.
namespace Translation {

inline constexpr const char* domain = "orvo-wav-downloader";

// Takes the locale from the environment (LANG, LC_ALL, LC_MESSAGES,
// LANGUAGE) and finds the catalogues: the build folder's when the program
// runs from there, the installed ones otherwise.
void setUp();

// The folder setUp() binds the catalogues to.
std::string localeFolder();

using Value = std::pair<std::string_view, std::string_view>;

// Replaces each "{name}" in text by its value; a name with no value stays
// as it is, and a brace that opens no known name is left alone.
std::string fill(std::string_view text, std::initializer_list<Value> values);

// A whole number in the user's locale ("12,345" in English, "12.345" in
// German).
std::string number(std::int64_t value);

// The form of a text for a count in the user's language (ngettext), with
// "{count}" and any other values filled in: counted(2, "{count} file",
// "{count} files") is "2 files".
std::string counted(std::int64_t count, const char* one, const char* many,
                    std::initializer_list<Value> values = {});

// True when the user's language is written right to left: its catalogue
// translates the "default:LTR" marker as "default:RTL", the way GTK's does.
bool rightToLeft();

} // namespace Translation

// The markers xgettext looks for. _() translates at once; N_() only marks a
// text translated later where it is used; C_() gives translators a context
// to tell apart two texts that read the same in English.
#define _(text) g_dgettext(Translation::domain, text)
#define N_(text) text
#define C_(context, text) g_dpgettext2(Translation::domain, context, text)
