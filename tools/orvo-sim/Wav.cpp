#include "Wav.hpp"


#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr std::size_t chunkSize = 256 * 1024;
// A stalled answer sends this much of the file and then nothing more.
constexpr std::uint64_t stallAfter = 64 * 1024;

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>(value >> 8);
}

void put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

void put64(std::string& out, std::uint64_t value) {
    put32(out, static_cast<std::uint32_t>(value));
    put32(out, static_cast<std::uint32_t>(value >> 32));
}

// One second of sound; 440 Hz left and 660 Hz right both fit a whole number
// of cycles into it, so the second repeats without a click.
const std::vector<char>& toneSecond() {
    static const std::vector<char> samples = [] {
        std::vector<char> bytes(Wav::sampleRate * Wav::bytesPerFrame);
        for (std::uint32_t frame = 0; frame < Wav::sampleRate; ++frame) {
            const double t = static_cast<double>(frame) / Wav::sampleRate;
            const auto left =
                static_cast<std::int16_t>(6000 * std::sin(2 * std::numbers::pi * 440 * t));
            const auto right =
                static_cast<std::int16_t>(6000 * std::sin(2 * std::numbers::pi * 660 * t));
            char* at = bytes.data() + frame * Wav::bytesPerFrame;
            at[0] = static_cast<char>(left & 0xff);
            at[1] = static_cast<char>((left >> 8) & 0xff);
            at[2] = static_cast<char>(right & 0xff);
            at[3] = static_cast<char>((right >> 8) & 0xff);
        }
        return bytes;
    }();
    return samples;
}

// Hands the file to libsoup one chunk at a time: the next chunk is made
// when the previous one has been written to the socket.
class Writer {
  public:
    // Sends the first sendBytes of the file; when that is less than all of
    // it, endEarly finishes the answer there, otherwise it just stops.
    Writer(std::string header, std::uint64_t dataBytes, std::uint64_t sendBytes, bool endEarly)
        : header_(std::move(header)), total_(header_.size() + dataBytes), send_(sendBytes),
          endEarly_(endEarly) {}

    static void attach(SoupServerMessage* message, Writer* writer) {
        g_object_set_data_full(G_OBJECT(message), "orvo-sim-wav-writer", writer,
                               [](gpointer data) { delete static_cast<Writer*>(data); });
        g_signal_connect(message, "wrote-chunk", G_CALLBACK(&Writer::wroteChunk), writer);
        writer->appendNext(message);
    }

  private:
    static void wroteChunk(SoupServerMessage* message, gpointer data) {
        static_cast<Writer*>(data)->appendNext(message);
    }

    void appendNext(SoupServerMessage* message) {
        auto* body = soup_server_message_get_response_body(message);
        if (offset_ >= send_) {
            // A full file ends here; a cut one ends early and the connection
            // closes ("Connection: close"); a stalled one never ends.
            if (send_ == total_ || endEarly_)
                soup_message_body_complete(body);
            return;
        }
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, send_ - offset_));
        char* chunk = static_cast<char*>(g_malloc(length));
        fill(chunk, length);
        soup_message_body_append_take(body, reinterpret_cast<guchar*>(chunk), length);
        offset_ += length;
    }

    void fill(char* out, std::size_t length) const {
        std::uint64_t at = offset_;
        while (length > 0) {
            std::size_t piece;
            if (at < header_.size()) {
                piece = std::min<std::size_t>(length, header_.size() - at);
                std::memcpy(out, header_.data() + at, piece);
            } else {
                const auto& tone = toneSecond();
                const std::size_t inSecond = (at - header_.size()) % tone.size();
                piece = std::min(length, tone.size() - inSecond);
                std::memcpy(out, tone.data() + inSecond, piece);
            }
            out += piece;
            at += piece;
            length -= piece;
        }
    }

    std::string header_;
    std::uint64_t total_;
    std::uint64_t send_;
    bool endEarly_;
    std::uint64_t offset_ = 0;
};

void respondText(SoupServerMessage* message, int status, const char* type, std::string_view text) {
    soup_server_message_set_status(message, status, nullptr);
    soup_server_message_set_response(message, type, SOUP_MEMORY_COPY, text.data(), text.size());
}

} // namespace

namespace Wav {

std::uint64_t dataBytes(double seconds) {
    const double frames = std::floor(seconds * sampleRate);
    // Beyond what a Content-Length or RF64 could sensibly carry.
    const double most =
        static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2 / bytesPerFrame);
    return static_cast<std::uint64_t>(std::clamp(frames, 0.0, most)) * bytesPerFrame;
}

std::string header(std::uint64_t dataBytes) {
    const bool rf64 = dataBytes > 0xffffffffULL - 36;
    std::string out;
    out += rf64 ? "RF64" : "RIFF";
    put32(out, rf64 ? 0xffffffffU : static_cast<std::uint32_t>(36 + dataBytes));
    out += "WAVE";
    if (rf64) {
        out += "ds64";
        put32(out, 28);
        put64(out, 72 + dataBytes); // RIFF size: all after the first eight bytes
        put64(out, dataBytes);
        put64(out, dataBytes / bytesPerFrame);
        put32(out, 0);
    }
    out += "fmt ";
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, channels);
    put32(out, sampleRate);
    put32(out, sampleRate * bytesPerFrame);
    put16(out, bytesPerFrame);
    put16(out, 16);
    out += "data";
    put32(out, rf64 ? 0xffffffffU : static_cast<std::uint32_t>(dataBytes));
    return out;
}

void respond(SoupServerMessage* message, std::uint64_t dataBytes, std::optional<WavFault> fault) {
    if (fault == WavFault::notFound) {
        respondText(message, SOUP_STATUS_NOT_FOUND, "application/xml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>NoSuchKey</Code>"
                    "<Message>The specified key does not exist.</Message></Error>\n");
        return;
    }
    if (fault == WavFault::notWav) {
        respondText(message, SOUP_STATUS_OK, "text/html; charset=utf-8",
                    "<!DOCTYPE html>\n<html><head><title>Access denied</title></head>"
                    "<body><h1>Access denied</h1><p>Request has expired.</p></body></html>\n");
        return;
    }

    auto head = header(dataBytes);
    const std::uint64_t total = head.size() + dataBytes;
    std::uint64_t send = total;
    if (fault == WavFault::cutShort)
        send = total / 2;
    else if (fault == WavFault::stall)
        send = std::min(total / 2, stallAfter);

    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    auto* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_set_content_type(headers, "audio/wav", nullptr);
    soup_message_headers_set_content_length(headers, static_cast<goffset>(total));
    soup_message_headers_replace(headers, "Accept-Ranges", "none");
    if (fault == WavFault::cutShort)
        soup_message_headers_replace(headers, "Connection", "close");

    auto* body = soup_server_message_get_response_body(message);
    soup_message_body_set_accumulate(body, FALSE);
    if (std::strcmp(soup_server_message_get_method(message), "HEAD") == 0) {
        soup_message_body_complete(body);
        return;
    }
    Writer::attach(message,
                   new Writer(std::move(head), dataBytes, send, fault == WavFault::cutShort));
}

} // namespace Wav
