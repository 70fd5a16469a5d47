// UDP endpoint on loopback. Runs inside the loopback-only test namespace.
#include "toolkit/foundation/NSUdpComm.h"

#include "engine/base/base64.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

int freeUdpPort()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

void sendRaw(int port, const std::string& bytes)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(s);
}

int openFdCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

class Receiver : public NSUI::udpComm {
public:
    using udpComm::udpComm;
    ~Receiver() override { stopListening(); }

    // Waits until `n` messages have arrived (or a generous limit passed).
    std::vector<std::string> waitFor(size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait_for(lock, 10s, [&] { return messages.size() >= n; });
        return messages;
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
    // startListening has bound the port when it returns: nothing sent from
    // here on can be missed.
    bool waitRunning() { return isRunning(); }

protected:
    void onReceive(const char* data, int length) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(data[length], '\0');
        messages.emplace_back(data, static_cast<size_t>(length));
        cv.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> messages;
};

} // namespace

TEST(UdpEndpoint, EachMessageArrivesTwiceDecoded)
{
    const int port = freeUdpPort();
    Receiver rx(port, 1024);
    rx.startListening();
    rx.startListening(); // no second loop
    ASSERT_TRUE(rx.waitRunning());

    const std::string message = "{\"cmd\":\"hello\",\"name\":\"O'Brien, \\\"CT\\\"\"}";
    EXPECT_EQ(rx.sendTo("127.0.0.1", message), 0);
    const auto got = rx.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], message);
    EXPECT_EQ(got[1], message);

    rx.stopListening();
    EXPECT_FALSE(rx.isRunning());
    EXPECT_EQ(rx.snapshot().size(), 2u);
}

TEST(UdpEndpoint, SizeLimitAndBadAddresses)
{
    const int port = freeUdpPort();
    Receiver rx(port, 1024);
    rx.startListening();
    ASSERT_TRUE(rx.waitRunning());

    const std::string largest(765, 'x'); // 1020 bytes of base64
    EXPECT_EQ(rx.sendTo("127.0.0.1", std::string(766, 'y')), -4); // 1024 bytes: too long
    EXPECT_EQ(rx.sendTo("127.0.0.1", largest), 0);
    EXPECT_EQ(rx.sendTo("1..2.3", "x"), -3);
    EXPECT_EQ(rx.sendTo("localhost", "x"), -3);
    const auto got = rx.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], largest);
}

TEST(UdpEndpoint, DatagramsAreReadWithinTheirLength)
{
    const int port = freeUdpPort();
    Receiver rx(port, 1024);
    rx.startListening();
    ASSERT_TRUE(rx.waitRunning());

    // A full-size datagram: 1024 bytes of base64, no terminator.
    std::string payload;
    for (int i = 0; i < 768; ++i)
        payload += static_cast<char>('A' + i % 26);
    const std::string full = cocos2d::safeBase64EncodeString(payload);
    ASSERT_EQ(full.size(), 1024u);
    sendRaw(port, full);
    auto got = rx.waitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], payload);

    // The text ends at a zero byte inside the datagram.
    sendRaw(port, std::string("aGVsbG8=\0Zm9v", 13));
    got = rx.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "hello");

    // A datagram that does not decode is still handed over, empty.
    sendRaw(port, "!!not base64!!");
    got = rx.waitFor(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], "");
}

// A datagram longer than the buffer would arrive cut; it is dropped, and
// the next one still arrives.
TEST(UdpEndpoint, OversizedDatagramsAreDropped)
{
    const int port = freeUdpPort();
    Receiver rx(port, 1024);
    rx.startListening();
    ASSERT_TRUE(rx.waitRunning());

    // Valid base64 throughout, so that a cut copy would decode.
    for (size_t size : {1025u, 65507u})
        sendRaw(port, std::string(size, 'A'));
    sendRaw(port, cocos2d::safeBase64EncodeString(std::string("after")));
    const auto got = rx.waitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "after");
}

TEST(UdpEndpoint, BusyPortEndsTheLoopButSendingWorks)
{
    const int port = freeUdpPort();
    Receiver first(port, 1024);
    first.startListening();
    ASSERT_TRUE(first.waitRunning());

    Receiver second(port, 1024);
    second.startListening(); // cannot bind: not running once it returns
    EXPECT_FALSE(second.isRunning());
    EXPECT_EQ(second.sendTo("127.0.0.1", "from second"), 0);
    const auto got = first.waitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "from second");
}

TEST(UdpEndpoint, SendSocketIsMadeOnceAcrossThreads)
{
    const int port = freeUdpPort();
    Receiver rx(port, 1024);
    rx.startListening();
    ASSERT_TRUE(rx.waitRunning());

    NSUI::udpComm sender(port, 1024);
    const int before = openFdCount();
    constexpr int kThreads = 8, kEach = 10;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                if (sender.sendTo("127.0.0.1", "t" + std::to_string(t) + "m" + std::to_string(i)) != 0)
                    ++failures;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(openFdCount() - before, 1);
    const auto got = rx.waitFor(2 * kThreads * kEach);
    EXPECT_EQ(got.size(), static_cast<size_t>(2 * kThreads * kEach));
}
