#include "download/SoupDownloader.hpp"

#include "download/FileNames.hpp"
#include "download/SoupCalls.hpp"
#include "download/WebAddress.hpp"
#include "session/BridgeError.hpp"

#include <cerrno>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <unistd.h>

namespace {

// Owns a GError filled by a _finish call and turns it into an exception.
struct Failure {
    GError* error = nullptr;
    ~Failure() { g_clear_error(&error); }
    [[noreturn]] void raise(const char* what) const {
        throw DownloadError(std::string(what) + ": " + (error ? error->message : "unknown error"));
    }
};

// A hidden file beside the destination that goes away unless it is renamed
// into place. Its name is short, so it fits wherever the destination fits.
// Every failure here is the local disk's, reported as a WriteError.
class PartFile {
  public:
    explicit PartFile(const std::filesystem::path& folder) : folder_(folder) {
        std::string name = (folder / FileNames::partFileTemplate).string();
        fd_ = g_mkstemp_full(name.data(), O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw WriteError(folder_, errno);
        path_ = name;
    }
    ~PartFile() {
        if (fd_ >= 0)
            close(fd_);
        if (!path_.empty())
            g_unlink(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // A plain write: a regular file never reports that it would block, so
    // an async write would hold up the main loop just the same.
    void write(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd_, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                throw WriteError(folder_, errno);
            if (written == 0)
                throw WriteError(folder_, ENOSPC);
            data += written;
            size -= std::size_t(written);
        }
    }

    // Replaces the destination in one step, once the data is on the disk,
    // so a crash or power cut leaves the earlier file or the whole new one.
    void renameTo(const std::filesystem::path& destination) {
        if (fsync(fd_) != 0)
            throw WriteError(folder_, errno);
        const int fd = std::exchange(fd_, -1);
        if (close(fd) != 0)
            throw WriteError(folder_, errno);
        if (g_rename(path_.c_str(), destination.c_str()) != 0)
            throw WriteError(folder_, errno);
        path_.clear();
    }

  private:
    std::filesystem::path folder_;
    int fd_ = -1;
    std::string path_;
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

constexpr std::size_t chunkSize = 256 * 1024;

} // namespace

SoupDownloader::SoupDownloader(unsigned stallSeconds)
    : session_(soup_session_new_with_options("timeout", stallSeconds, nullptr)) {}

Task<void> SoupDownloader::download(std::string url, std::filesystem::path destination) {
    if (!isWebAddress(url))
        throw BridgeError("bad URL");
    GObjectRef<SoupMessage> message(soup_message_new("GET", url.c_str()));
    if (!message)
        throw BridgeError("bad URL");
    GObjectRef<GCancellable> cancellable(g_cancellable_new());

    // Wait for the response headers.
    SendCall send(session_.get(), message.get(), cancellable.get());
    GObjectRef<GAsyncResult> sent = co_await send;
    Failure failure;
    GObjectRef<GInputStream> body(
        soup_session_send_finish(session_.get(), sent.get(), &failure.error));
    if (!body)
        failure.raise("transfer failed");
    AbandonUnlessDone abandon{cancellable.get()};

    const guint status = soup_message_get_status(message.get());
    if (status < 200 || status > 299)
        throw DownloadError("HTTP status " + std::to_string(status));
    SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
    goffset announced = -1;
    const char* coding = soup_message_headers_get_one(headers, "Content-Encoding");
    // With a content coding the announced length is that of the coded body.
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
        (!coding || g_ascii_strcasecmp(coding, "identity") == 0))
        announced = soup_message_headers_get_content_length(headers);

    PartFile part(destination.parent_path());
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
            failure.raise("transfer failed");
        if (count == 0)
            break;
        if (head.size() < WavHeader::size) {
            head.append(buffer.data(),
                        std::min<std::size_t>(std::size_t(count), WavHeader::size - head.size()));
            // Stop at once rather than save a page of HTML as a .wav.
            if (head.size() == WavHeader::size && !WavHeader::matches(head))
                throw DownloadError("not a WAV file");
        }
        part.write(buffer.data(), std::size_t(count));
        received += count;
    }
    if (!WavHeader::matches(head))
        throw DownloadError("not a WAV file");
    if (announced >= 0 && received != announced)
        throw DownloadError("cut short: " + std::to_string(received) + " of " +
                            std::to_string(announced) + " bytes");
    abandon.done = true;
    g_input_stream_close(body.get(), nullptr, nullptr);
    part.renameTo(destination);
}
