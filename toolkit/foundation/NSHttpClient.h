// HTTP client: one process-wide network thread performs the queued requests
// one at a time, in the order they were sent, each on a fresh libcurl
// handle; every finished response is handed to the UI thread, where the
// request's callback runs. Requests carry an owner; an owner that goes away
// cancels all of its requests with cancelRequestsForOwner, so that no
// callback reaches a destroyed object.
//
// TLS peers and host names are verified against the system CA store, or
// against the CA file given with setCAFile (for test and private servers).
// No cookies are kept, nothing is retried. At most 5 redirects are followed,
// to http or https, never from https back to http. A reply kept in memory is
// limited to 8 MiB (its header to 1 MiB); beyond that the request fails with
// "the reply is larger than 8 MiB". Downloads to a file are bounded by the
// disk only. A failed transfer always carries an error text (libcurl's
// message, or its text for the error code). At teardown the queued requests
// are cancelled, not performed, and a transfer under way is aborted.
#pragma once

#include "engine/cocos2d.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct curl_httppost;

namespace NSUI {

class NSHttpClient;
class NSHttpResponse;

using NSHttpCallback = std::function<void(NSHttpClient*, NSHttpResponse*)>;

class NSHttpRequest : public cocos2d::Ref {
public:
    // Request kinds (requestType).
    static constexpr int kGet = 0;
    static constexpr int kPost = 1;
    static constexpr int kPut = 2;
    static constexpr int kDelete = 3;
    static constexpr int kForm = 4;     // multipart form (formFirst)
    static constexpr int kDownload = 5; // POST whose body goes to downloadPath
    static constexpr int kUnknown = 6;

    NSHttpRequest() = default;
    ~NSHttpRequest() override;

    // The multipart form of a kForm request (curl_formadd); freed with the
    // request.
    curl_httppost* formFirst = nullptr;
    curl_httppost* formLast = nullptr;
    int requestType = kUnknown;
    std::string url;
    std::vector<char> requestData;
    std::string tag;
    // Not retained: the key of cancellation. Only requests with an owner
    // and a callback are answered.
    cocos2d::Ref* owner = nullptr;
    NSHttpCallback callback;
    // Complete header lines ("Name: value"), sent in this order.
    std::vector<std::string> headers;
    std::string downloadPath;
};

class NSHttpResponse : public cocos2d::Ref {
public:
    // Retains the request; for a download, opens its file for writing.
    explicit NSHttpResponse(NSHttpRequest* request);
    ~NSHttpResponse() override;

    NSHttpRequest* request = nullptr;
    // True only when the transfer completed with a status 200-299 (and, for
    // a download, the whole body reached the file).
    bool succeeded = false;
    std::vector<char> responseData;   // body (empty for downloads)
    std::vector<char> responseHeader; // header lines as received
    int responseCode = -1;            // -1 when no status was obtained
    std::string errorText;            // set when the transfer failed
    FILE* downloadFile = nullptr;
};

class NSHttpClient {
public:
    static NSHttpClient* getInstance();
    // The client when one exists, else null; never creates it. Code on
    // destruction paths cancels through it, so that an object destroyed
    // after the client was deleted does not bring the client back.
    static NSHttpClient* getInstanceIfExists();
    // Cancels every queued request, aborts the transfer under way, ends the
    // network thread and waits for it. Undelivered responses are dropped.
    virtual ~NSHttpClient();

    // Any thread. Takes a reference on the request until its response has
    // been delivered or dropped. A null request only starts the thread.
    void send(NSHttpRequest* request);
    // UI thread. Removes the owner's queued requests and undelivered
    // responses and aborts its transfer under way at once (the next request
    // starts without waiting for it). No callback of that owner runs
    // afterwards.
    void cancelRequestsForOwner(cocos2d::Ref* owner);

    void setTimeoutForConnect(int seconds) { connectTimeout = seconds; }
    int getTimeoutForConnect() const { return connectTimeout; }
    // Limit of the whole transfer.
    void setTimeoutForRead(int seconds) { readTimeout = seconds; }
    int getTimeoutForRead() const { return readTimeout; }
    // CA certificates (PEM) to verify servers with instead of the system
    // store; "" for the system store.
    void setCAFile(const std::string& path);
    std::string getCAFile() const;

    // Performs one transfer on the calling thread (the network thread).
    void processResponse(NSHttpResponse* response, char* errorBuffer);

private:
    NSHttpClient();
    void startNetworkThread();
    void networkThreadLoop();
    void dispatchResponse();
    // Performs one transfer (a CURL easy handle); returns its CURLcode.
    int perform(void* easy);
    // Wakes the transfer under way so that it sees an abort flag at once.
    void wakeTransfer();

    std::atomic<int> connectTimeout{5};
    std::atomic<int> readTimeout{60};
    NSHttpRequest* stopRequest = nullptr;
    NSHttpRequest* currentRequest = nullptr;
    std::mutex requestQueueMutex;
    std::mutex responseQueueMutex;
    std::condition_variable queueCondition;
    bool started = false; // guarded by requestQueueMutex
    std::deque<NSHttpRequest*> requestQueue;
    std::deque<NSHttpResponse*> responseQueue;
    std::thread networkThread;
    cocos2d::Scheduler* scheduler = nullptr;
    std::atomic<bool> abortTransfers{false};
    // Set when the owner of the transfer under way cancels its requests.
    std::atomic<bool> cancelCurrent{false};
    std::mutex multiMutex;
    void* currentMulti = nullptr; // guarded by multiMutex

    mutable std::mutex settingsMutex;
    std::string caFile;
};

} // namespace NSUI
