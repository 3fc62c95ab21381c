#pragma once
#include <string>
#include <string_view>

// A title or a name from the service, as it goes into a line the app
// composes ("Saved: …"): set apart in a direction of its own (FSI … PDI), so
// a right-to-left name reads right in place and leaves the order of the
// words around it alone. The direction controls the name holds itself
// (embeddings, overrides, isolates) become U+FFFD first, as they are shown
// everywhere else, so none of them reaches past the isolate.
std::string isolated(std::string_view name);
