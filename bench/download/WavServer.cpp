// Serves generated WAV files over HTTP on 127.0.0.1 for the download
// benchmark: GET /<bytes>.wav answers a PCM WAV of exactly that many bytes,
// streamed from one small buffer, so even gigabytes never sit in memory.
// Prints its port on the first line, then serves one connection at a time
// until killed. Plain sockets keep the server faster than any client.
#include <arpa/inet.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= std::size_t(sent);
    }
    return true;
}

std::string le32(std::uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A 440 Hz stereo tone, one second of 16-bit samples at 44.1 kHz.
std::vector<char> tone() {
    std::vector<char> samples(44100 * 4);
    for (std::size_t i = 0; i < 44100; ++i) {
        const auto value = std::int16_t(8000 * std::sin(2 * M_PI * 440 * double(i) / 44100));
        for (int channel = 0; channel < 2; ++channel)
            std::memcpy(&samples[i * 4 + std::size_t(channel) * 2], &value, 2);
    }
    return samples;
}

void serve(int fd, const std::vector<char>& samples) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, std::size_t(got));
    }
    unsigned long long total = 0;
    if (std::sscanf(request.c_str(), "GET /%llu.wav", &total) != 1 || total < 44) {
        const char* missing =
            "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(fd, missing, std::strlen(missing));
        return;
    }
    const unsigned long long dataBytes = total - 44;
    const auto clamp = [](unsigned long long v) {
        return std::uint32_t(std::min(v, 0xffffffffull));
    };
    std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: audio/wav\r\nContent-Length: " + std::to_string(total) +
        "\r\nConnection: close\r\n\r\n";
    head += "RIFF" + le32(clamp(total - 8)) + "WAVEfmt " + le32(16);
    head += std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(44100 * 4) +
            std::string("\x04\x00\x10\x00", 4) + "data" + le32(clamp(dataBytes));
    if (!sendAll(fd, head.data(), head.size()))
        return;
    for (unsigned long long left = dataBytes; left > 0;) {
        const std::size_t piece = std::size_t(std::min<unsigned long long>(left, samples.size()));
        if (!sendAll(fd, samples.data(), piece))
            return;
        left -= piece;
    }
}

} // namespace

int main() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(listener, 16) ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length)) {
        std::perror("wav-server");
        return 1;
    }
    std::printf("%u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);
    const std::vector<char> samples = tone();
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        serve(fd, samples);
        shutdown(fd, SHUT_WR);
        close(fd);
    }
}
