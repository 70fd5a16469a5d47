#include "toolkit/foundation/NSUdpComm.h"

#include "engine/base/base64.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace NSUI {

udpComm::udpComm(int port_, int bufferSize_) : port(port_), bufferSize(bufferSize_ > 1 ? bufferSize_ : 2) {}

udpComm::~udpComm()
{
    stopListening();
    const int s = sendSocket.exchange(-1);
    if (s >= 0)
        ::close(s);
}

void udpComm::startListening()
{
    bool expected = false;
    if (!running.compare_exchange_strong(expected, true))
        return;
    stopRequested = false;
    // The socket is bound here, on the caller's thread, so that a datagram
    // sent once startListening has returned is queued for the loop rather
    // than lost while the loop's thread is still starting.
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        running = false;
        return;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(s);
        running = false;
        return;
    }
    timeval tv{};
    tv.tv_sec = 0;
    tv.tv_usec = 20 * 1000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::thread([this, s] { receiveLoop(s); }).detach();
}

void udpComm::stopListening()
{
    if (!running.load())
        return;
    stopRequested = true;
    while (running.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void udpComm::receiveLoop(int s)
{
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    while (!stopRequested.load()) {
        std::memset(buffer.data(), 0, buffer.size());
        // MSG_TRUNC makes recvfrom return the datagram's whole length: a
        // datagram longer than the buffer arrived cut and is dropped.
        const ssize_t n = ::recvfrom(s, buffer.data(), buffer.size(), MSG_TRUNC, nullptr, nullptr);
        if (n < 0 || static_cast<size_t>(n) > buffer.size())
            continue;
        // The text ends at the first zero byte or at the end of the
        // received bytes; a full-size datagram has no terminator.
        const void* zero = std::memchr(buffer.data(), 0, static_cast<size_t>(n));
        const size_t length =
            zero ? static_cast<size_t>(static_cast<const char*>(zero) - buffer.data()) : static_cast<size_t>(n);
        const std::string message = cocos2d::safeBase64DecodeString(buffer.data(), length);
        onReceive(message.c_str(), static_cast<int>(message.size()));
    }
    ::close(s);
    running = false;
}

int udpComm::sendTo(std::string address, std::string text)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        return -3;

    int s = sendSocket.load();
    if (s < 0) {
        std::lock_guard<std::mutex> lock(sendSocketMutex);
        s = sendSocket.load();
        if (s < 0) {
            s = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (s < 0)
                return -1;
            sendSocket.store(s);
        }
    }

    try {
        const std::string encoded = cocos2d::safeBase64EncodeString(text.c_str(), std::strlen(text.c_str()));
        if (encoded.size() > static_cast<size_t>(bufferSize - 1))
            return -4;
        for (int i = 0; i < 2; ++i)
            ::sendto(s, encoded.data(), encoded.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } catch (...) {
        return -3;
    }
    return 0;
}

void udpComm::onReceive(const char* /*data*/, int /*length*/) {}

} // namespace NSUI
