#include "WavStorage.hpp"

#include "Wav.hpp"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

void storageError(Exchange& exchange, int status, const char* code, const char* message) {
    exchange.send(status, "application/xml",
                  std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>") + code +
                      "</Code><Message>" + message + "</Message></Error>\n");
}

std::string escaped(const std::string& id) {
    GCharRef text(g_uri_escape_string(id.c_str(), nullptr, FALSE));
    return text.get();
}

} // namespace

WavStorage::WavStorage(World& world) : world_(world) {
    std::random_device source;
    for (int i = 0; i < 32; ++i)
        key_ += static_cast<char>('a' + source() % 26);
}

std::string WavStorage::address(const CatalogueClip& clip) const {
    return world_.apiOrigin + "/storage/wav/" + escaped(clip.id) + ".wav";
}

void WavStorage::serveAddress(Exchange& exchange) {
    const auto id = exchange.between("/storage/wav/", ".wav").value_or("");
    if (!world_.options.wavRedirect) {
        serveFile(exchange, id);
        return;
    }
    const auto* clip = world_.catalogue.find(id);
    world_.counters.count("wav_redirect", clip ? id : "");
    if (!clip || world_.conversions.state(*clip) != Conversions::State::ready) {
        Wav::respond(exchange.message(), 0, WavFault::notFound);
        return;
    }
    // Whole seconds of the stand-in's clock, and never past what a number holds.
    const auto expires = std::to_string(static_cast<long long>(
        std::ceil(std::min(world_.clock.now() + world_.options.signedUrlLifetime, 1e15))));
    exchange.redirect(world_.storageOrigin + "/wav/" + escaped(id) + ".wav?expires=" + expires +
                          "&signature=" + signature(id, expires),
                      SOUP_STATUS_FOUND);
}

void WavStorage::handle(Exchange& exchange) {
    const auto id = exchange.between("/wav/", ".wav");
    if (!id) {
        world_.counters.count("not_found");
        Wav::respond(exchange.message(), 0, WavFault::notFound);
        return;
    }
    const auto expires = exchange.query("expires").value_or("");
    if (exchange.query("signature") != signature(*id, expires)) {
        world_.counters.count("storage_denied");
        storageError(exchange, SOUP_STATUS_FORBIDDEN, "SignatureDoesNotMatch",
                     "The request signature we calculated does not match the signature you "
                     "provided.");
        return;
    }
    if (world_.clock.now() > g_ascii_strtod(expires.c_str(), nullptr)) {
        world_.counters.count("storage_denied");
        storageError(exchange, SOUP_STATUS_FORBIDDEN, "AccessDenied", "Request has expired");
        return;
    }
    serveFile(exchange, *id);
}

std::string WavStorage::signature(const std::string& id, const std::string& expires) const {
    const auto text = id + "\n" + expires;
    GCharRef hmac(g_compute_hmac_for_string(G_CHECKSUM_SHA256,
                                            reinterpret_cast<const guchar*>(key_.data()),
                                            key_.size(), text.c_str(), -1));
    return hmac.get();
}

void WavStorage::serveFile(Exchange& exchange, const std::string& id) {
    // Storage needs no credentials; it serves a file once its conversion is done.
    const auto* clip = world_.catalogue.find(id);
    world_.counters.count("wav", clip ? id : "");
    if (!clip || (exchange.method() != "GET" && exchange.method() != "HEAD") ||
        world_.conversions.state(*clip) != Conversions::State::ready) {
        Wav::respond(exchange.message(), 0, WavFault::notFound);
        return;
    }
    const long request = ++world_.clipCalls["wav"][id];
    // The command line wins over the catalogue.
    std::optional<WavFault> fault;
    for (const auto& rule : world_.options.wavFaults)
        if (!fault && rule.clips.contains(id) && (!rule.times || request <= *rule.times))
            fault = rule.fault;
    if (!fault && clip->wavFault && (!clip->wavFault->second || request <= *clip->wavFault->second))
        fault = clip->wavFault->first;
    Wav::respond(exchange.message(), Wav::dataBytes(world_.conversions.wavSeconds(*clip)), fault);
}
