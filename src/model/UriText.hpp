#pragma once
#include <string_view>

// True when the text holds only the characters an address may hold (RFC 3986),
// with every "%" followed by two hex digits. GLib's parser lets spaces,
// quotes and angle brackets through; the app never hands such an address on.
bool onlyUriCharacters(std::string_view text);
