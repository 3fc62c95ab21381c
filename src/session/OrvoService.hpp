#pragma once
#include <optional>
#include <string>

#include "async/Task.hpp"
#include "session/FeedPage.hpp"

// The service operations the rest of the app calls. The app's one
// implementation runs page scripts in the signed-in web page; tests use
// fakes with scripted answers.
class OrvoService {
public:
    virtual ~OrvoService() = default;

    // Whether the page holds a signed-in session; throws the engine's error.
    virtual Task<bool> isLoggedIn() = 0;

    // One page of the library feed; none asks for the first page. Throws
    // BridgeError or the engine's error.
    virtual Task<FeedPage> feedPage(std::optional<std::string> cursor) = 0;

    // Asks the service to convert a track to WAV; never fails.
    virtual Task<void> convertWav(std::string id) = 0;

    // Prods a slow conversion through two other routes; never fails.
    virtual Task<void> triggerMP3Download(std::string id) = 0;

    // The WAV file's address once it is ready; none otherwise, and on any
    // failure.
    virtual Task<std::optional<std::string>> wavURL(std::string id) = 0;
};
