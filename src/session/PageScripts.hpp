#pragma once
#include <string_view>

// The page scripts, compiled in from session/scripts/*.js. Placeholders
// such as {{apiOrigin}} are filled in by PageScriptService.
namespace PageScripts {
extern const std::string_view isLoggedIn;
extern const std::string_view clientLoaded;
extern const std::string_view feedPage;
extern const std::string_view convertWav;
extern const std::string_view triggerMP3Download;
extern const std::string_view wavURL;
} // namespace PageScripts
