#include "download/SoupDownloader.hpp"

#include "download/SoupCalls.hpp"
#include "download/WebAddress.hpp"
#include "download/WriteError.hpp"
#include "model/Translation.hpp"

#include <cerrno>
#include <deque>
#include <sys/statvfs.h>

namespace {

// Owns a GError filled by a _finish call and turns it into an exception.
struct Failure {
    GError* error = nullptr;
    ~Failure() { g_clear_error(&error); }
    [[noreturn]] void raise(const char* what) const {
        throw DownloadError(std::string(what) + ": " +
                            (error ? error->message : _("unknown error")));
    }
};

// Cancels the transfer when the download ends early: the connection is
// dropped with the rest of the body unread, never kept for another request.
struct AbandonUnlessDone {
    GCancellable* cancellable;
    bool done = false;
    ~AbandonUnlessDone() {
        if (!done)
            g_cancellable_cancel(cancellable);
    }
};

// Ends the transfer when the user cancels, for as long as it lasts.
class CancelOnRequest {
  public:
    CancelOnRequest(CancelSignal& cancelled, GCancellable* cancellable)
        : connection_(cancelled.connect([this, cancellable] {
              requested = true;
              g_cancellable_cancel(cancellable);
          })) {}
    ~CancelOnRequest() { connection_.disconnect(); }
    CancelOnRequest(const CancelOnRequest&) = delete;
    CancelOnRequest& operator=(const CancelOnRequest&) = delete;
    bool requested = false;

  private:
    sigc::connection connection_;
};

// Watches the bytes that arrive and ends the transfer when a whole window
// of time brings fewer than the limit: a server that trickles a byte a
// minute never trips the socket's own silence time-out. It watches from the
// moment the request is sent, so a status line and headers trickled a byte
// at a time (which bring no body at all) stall too.
class StallWatch {
  public:
    StallWatch(SoupDownloader::Limits limits, GCancellable* cancellable)
        : limits_(limits), cancellable_(cancellable), started_(g_get_monotonic_time()) {
        samples_.push_back({started_, 0});
        const auto tick = guint(std::max(1.0, limits.windowSeconds * 1000 / 60));
        source_ = g_timeout_add(tick, &StallWatch::check, this);
    }
    ~StallWatch() { g_source_remove(source_); }
    StallWatch(const StallWatch&) = delete;
    StallWatch& operator=(const StallWatch&) = delete;

    void received(goffset total) { samples_.push_back({g_get_monotonic_time(), total}); }
    bool stalled = false;

  private:
    struct Sample {
        gint64 time;
        goffset total;
    };
    static gboolean check(gpointer self) {
        auto* watch = static_cast<StallWatch*>(self);
        const gint64 now = g_get_monotonic_time();
        const auto window = gint64(watch->limits_.windowSeconds * 1e6);
        if (now - watch->started_ < window)
            return G_SOURCE_CONTINUE;
        // The total at the start of the window: the last sample before it.
        auto& samples = watch->samples_;
        while (samples.size() > 1 && samples[1].time <= now - window)
            samples.pop_front();
        if (samples.back().total - samples.front().total < goffset(watch->limits_.minimumBytes)) {
            watch->stalled = true;
            g_cancellable_cancel(watch->cancellable_);
        }
        return G_SOURCE_CONTINUE;
    }

    SoupDownloader::Limits limits_;
    GCancellable* cancellable_;
    gint64 started_;
    std::deque<Sample> samples_;
    guint source_ = 0;
};

std::string sizeText(std::uint64_t bytes) {
    char* formatted = g_format_size(bytes);
    std::string size(formatted);
    g_free(formatted);
    return size;
}

// The room the file may fill: the disk's free space less the spare. A file
// whose length is announced is refused before a byte of it is written when
// it does not fit; one of unannounced length is held to it while it comes.
std::optional<std::uint64_t> roomFor(const std::filesystem::path& folder, goffset announced) {
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) != 0)
        return std::nullopt;
    const std::uint64_t free = std::uint64_t(disk.f_bavail) * disk.f_frsize;
    const std::uint64_t room =
        free > SoupDownloader::spareBytes ? free - SoupDownloader::spareBytes : 0;
    if (announced >= 0 && std::uint64_t(announced) > room)
        throw WriteError(
            Translation::fill(
                // Translators: {needed} and {free} are sizes ("1.2 GB").
                _("Not enough space on {folder}: {needed} needed, {free} free"),
                {{"folder", WriteError::displayPath(folder)},
                 {"needed", sizeText(std::uint64_t(announced) + SoupDownloader::spareBytes)},
                 {"free", sizeText(free)}}),
            ENOSPC);
    return room;
}

[[noreturn]] void outgrew(const std::filesystem::path& folder, std::uint64_t room) {
    throw WriteError(
        // Translators: {room} and {spare} are sizes ("1.2 GB").
        Translation::fill(_("Not enough space on {folder}: a file of unannounced length "
                            "outgrew the {room} free beyond the {spare} kept spare"),
                          {{"folder", WriteError::displayPath(folder)},
                           {"room", sizeText(room)},
                           {"spare", sizeText(SoupDownloader::spareBytes)}}),
        ENOSPC);
}

bool isRedirect(guint status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirect leads, resolved against the address that answered it.
std::optional<std::string> redirectTarget(SoupMessage* message) {
    const char* location =
        soup_message_headers_get_one(soup_message_get_response_headers(message), "Location");
    if (!location)
        return std::nullopt;
    GUri* target = g_uri_parse_relative(soup_message_get_uri(message), location,
                                        GUriFlags(SOUP_HTTP_URI_FLAGS), nullptr);
    if (!target)
        return "";
    char* text = g_uri_to_string(target);
    std::string address(text);
    g_free(text);
    g_uri_unref(target);
    return address;
}

constexpr std::size_t chunkSize = 256 * 1024;

// Judges the address each connection of one request is about to be made to,
// once its host name is resolved. A refused one is closed before connect()
// is called, so not a byte reaches it, and the transfer ends with the reason.
class ConnectionGuard {
  public:
    ConnectionGuard(const DownloadAddressPolicy& policy, GSocketAddress* trusted,
                    GCancellable* cancellable)
        : policy_(policy), trusted_(trusted), cancellable_(cancellable) {}
    ~ConnectionGuard() {
        for (const auto& message : watched_)
            g_signal_handlers_disconnect_by_data(message.get(), this);
    }
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;

    void watch(SoupMessage* message) {
        watched_.push_back(addRef(message));
        g_signal_connect(message, "network-event", G_CALLBACK(&ConnectionGuard::onEvent), this);
    }
    std::optional<std::string> refusal;

  private:
    static void onEvent(SoupMessage*, GSocketClientEvent event, GIOStream* stream, gpointer self) {
        auto& guard = *static_cast<ConnectionGuard*>(self);
        if (event != G_SOCKET_CLIENT_CONNECTING || !G_IS_SOCKET_CONNECTION(stream))
            return;
        auto* connection = G_SOCKET_CONNECTION(stream);
        // While connecting, this is the address about to be connected to.
        GObjectRef<GSocketAddress> remote(
            g_socket_connection_get_remote_address(connection, nullptr));
        std::optional<std::string> refusal;
        if (!remote || !G_IS_INET_SOCKET_ADDRESS(remote.get()))
            refusal = _("not a web address");
        else if (G_IS_PROXY_ADDRESS(remote.get()))
            return; // the proxy resolves the name; its text was judged
        else if (!guard.trusts(G_INET_SOCKET_ADDRESS(remote.get())))
            refusal = guard.policy_.connectionRefusal(
                g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(remote.get())));
        if (!refusal)
            return;
        guard.refusal = std::move(refusal);
        g_socket_close(g_socket_connection_get_socket(connection), nullptr);
        g_cancellable_cancel(guard.cancellable_);
    }
    bool trusts(GInetSocketAddress* remote) const {
        if (!trusted_)
            return false;
        auto* trusted = G_INET_SOCKET_ADDRESS(trusted_);
        return g_inet_socket_address_get_port(trusted) == g_inet_socket_address_get_port(remote) &&
               g_inet_address_equal(g_inet_socket_address_get_address(trusted),
                                    g_inet_socket_address_get_address(remote));
    }

    const DownloadAddressPolicy& policy_;
    GSocketAddress* trusted_;
    GCancellable* cancellable_;
    std::vector<GObjectRef<SoupMessage>> watched_;
};

} // namespace

SoupDownloader::SoupDownloader() : SoupDownloader(DownloadAddressPolicy(Origins::current())) {}

SoupDownloader::SoupDownloader(DownloadAddressPolicy policy, Limits limits, GSocketAddress* standIn)
    : policy_(policy), limits_(limits),
      standIn_(standIn ? G_SOCKET_ADDRESS(g_object_ref(standIn)) : nullptr),
      session_(soup_session_new_with_options("timeout", guint(std::max(1.0, limits.windowSeconds)),
                                             nullptr)) {
    // A WAV file is taken as it is sent: a coded one is refused rather
    // than decoded to whatever size it expands to.
    soup_session_remove_feature_by_type(session_.get(), SOUP_TYPE_CONTENT_DECODER);
}

Task<PartFile> SoupDownloader::download(std::string url, std::filesystem::path folder,
                                        CancelSignal& cancelled) {
    GObjectRef<GCancellable> cancellable(g_cancellable_new());
    CancelOnRequest cancel(cancelled, cancellable.get());
    const auto raise = [&](const Failure& failure, StallWatch* watch) {
        if (cancel.requested)
            throw DownloadError(_("cancelled"));
        if (watch && watch->stalled)
            throw DownloadError(Translation::counted(
                std::int64_t(limits_.windowSeconds),
                "stalled: less than {bytes} bytes in {count} second",
                "stalled: less than {bytes} bytes in {count} seconds",
                {{"bytes", Translation::number(std::int64_t(limits_.minimumBytes))}}));
        failure.raise(_("transfer failed"));
    };

    // Redirects are followed here rather than by libsoup, so that each
    // address is checked before it is asked for.
    GObjectRef<SoupMessage> message;
    GObjectRef<GInputStream> body;
    Failure failure;
    StallWatch watch(limits_, cancellable.get());
    ConnectionGuard guard(policy_, standIn_.get(), cancellable.get());
    for (int redirects = 0;; ++redirects) {
        if (auto refusal = policy_.refusal(url))
            throw AddressRefused(Translation::fill(redirects == 0 ? _("address refused: {reason}")
                                                                  : _("redirect refused: {reason}"),
                                                   {{"reason", *refusal}}));
        message.reset(soup_message_new("GET", url.c_str()));
        if (!message)
            throw AddressRefused(_("address refused: not a web address"));
        soup_message_add_flags(message.get(), SOUP_MESSAGE_NO_REDIRECT);
        soup_message_headers_replace(soup_message_get_request_headers(message.get()),
                                     "Accept-Encoding", "identity");
        guard.watch(message.get());
        // Wait for the response headers.
        SendCall send(session_.get(), message.get(), cancellable.get());
        GObjectRef<GAsyncResult> sent = co_await send;
        body.reset(soup_session_send_finish(session_.get(), sent.get(), &failure.error));
        if (guard.refusal)
            throw AddressRefused(Translation::fill(redirects == 0 ? _("address refused: {reason}")
                                                                  : _("redirect refused: {reason}"),
                                                   {{"reason", *guard.refusal}}));
        if (!body)
            raise(failure, &watch);
        auto target = isRedirect(soup_message_get_status(message.get()))
                          ? redirectTarget(message.get())
                          : std::nullopt;
        if (!target)
            break;
        // The redirect's own body is never read: its connection is dropped.
        g_input_stream_close(body.get(), nullptr, nullptr);
        if (redirects == DownloadAddressPolicy::maxRedirects)
            throw AddressRefused(Translation::counted(
                DownloadAddressPolicy::maxRedirects, "redirect refused: more than {count} redirect",
                "redirect refused: more than {count} redirects"));
        url = std::move(*target);
    }
    AbandonUnlessDone abandon{cancellable.get()};

    const guint status = soup_message_get_status(message.get());
    if (status < 200 || status > 299)
        throw DownloadError(
            Translation::fill(_("HTTP status {status}"), {{"status", std::to_string(status)}}));
    SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
    // Asked for as it is; a coded answer would expand to any size.
    const char* coding = soup_message_headers_get_one(headers, "Content-Encoding");
    if (coding && g_ascii_strcasecmp(coding, "identity") != 0)
        throw DownloadError(Translation::fill(
            // Translators: {coding} is the name of a compression, such as "gzip".
            _("the server sent the file compressed ({coding}), not as it is"),
            {{"coding", coding}}));
    goffset announced = -1;
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH)
        announced = soup_message_headers_get_content_length(headers);

    const std::optional<std::uint64_t> room = roomFor(folder, announced);

    PartFile part(folder);
    std::vector<char> buffer(chunkSize);
    std::string head;
    goffset received = 0;
    for (;;) {
        // Wait for the next piece of the body.
        ReadCall read(body.get(), buffer, cancellable.get());
        GObjectRef<GAsyncResult> readResult = co_await read;
        const gssize count =
            g_input_stream_read_finish(body.get(), readResult.get(), &failure.error);
        if (count < 0)
            raise(failure, &watch);
        if (count == 0)
            break;
        if (head.size() < WavHeader::size) {
            head.append(buffer.data(),
                        std::min<std::size_t>(std::size_t(count), WavHeader::size - head.size()));
            // Stop at once rather than save a page of HTML as a .wav.
            if (head.size() == WavHeader::size && !WavHeader::matches(head))
                throw DownloadError(_("not a WAV file"));
        }
        if (announced < 0 && room && std::uint64_t(received + count) > *room)
            outgrew(folder, *room);
        part.write(buffer.data(), std::size_t(count));
        received += count;
        watch.received(received);
    }
    if (!WavHeader::matches(head))
        throw DownloadError(_("not a WAV file"));
    if (announced >= 0 && received != announced)
        throw DownloadError(
            Translation::counted(std::int64_t(announced), "cut short: {received} of {count} byte",
                                 "cut short: {received} of {count} bytes",
                                 {{"received", Translation::number(std::int64_t(received))}}));
    abandon.done = true;
    g_input_stream_close(body.get(), nullptr, nullptr);
    part.finish();
    co_return std::move(part);
}
