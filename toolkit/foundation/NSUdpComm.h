// UDP endpoint for short text messages between running copies of the
// system on the local network (IPv4).
//
// Wire format, both directions: one datagram holds the base64 text of one
// message, without terminator; the base64 text is at most bufferSize - 1
// bytes. Each message is sent twice. A datagram longer than bufferSize is
// dropped, never delivered cut. The receive loop runs on a detached
// thread of its own and hands every decoded message to onReceive there.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace NSUI {

class udpComm {
public:
    udpComm(int port, int bufferSize);
    // Stops a receive loop that is still running (waiting for it), then
    // closes the send socket. Owners should stop the loop themselves first.
    virtual ~udpComm();

    // Binds the port and starts the receive loop on a new detached thread,
    // unless it runs. Once it returns, datagrams sent to the port are
    // received; when the port cannot be bound, isRunning() is false.
    void startListening();
    // Asks the loop to end and waits until it has (polling every 5 ms).
    void stopListening();

    // 0 when sent; -1 when no socket can be made; -4 when the encoded
    // message is too long (nothing is sent); -3 when the address is not a
    // dotted IPv4 address or sending raised an error.
    int sendTo(std::string address, std::string text);

    int getPort() const { return port; }
    int getBufferSize() const { return bufferSize; }
    bool isRunning() const { return running.load(); }

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};

protected:
    // Called on the receive thread with the decoded message (zero-terminated;
    // length without the terminator).
    virtual void onReceive(const char* data, int length);

    // Receives on the bound socket `s` until stopRequested; closes it.
    void receiveLoop(int s);

    int port;
    int bufferSize;

private:
    std::mutex sendSocketMutex;
    std::atomic<int> sendSocket{-1};
};

} // namespace NSUI
