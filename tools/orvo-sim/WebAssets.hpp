#pragma once
#include <string_view>

// The site's pages, style sheet and sign-in client, compiled in from web/.
namespace WebAssets {
extern const std::string_view home;
extern const std::string_view provider;
extern const std::string_view song;
extern const std::string_view notFound;
extern const std::string_view clerk;
extern const std::string_view site;
} // namespace WebAssets
