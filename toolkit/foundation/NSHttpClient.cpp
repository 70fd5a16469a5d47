#include "toolkit/foundation/NSHttpClient.h"

// Multipart forms are built with curl_formadd (the form travels with the
// request); libcurl marks that interface as superseded, not removed.
#define CURL_DISABLE_DEPRECATION 1
#include <curl/curl.h>

#include <strings.h>

#include <cstring>

namespace NSUI {

namespace {

std::atomic<NSHttpClient*> s_instance{nullptr};
std::mutex s_instanceMutex;

const char* const kCannotOpenDownload = "cannot open download file";
const char* const kCannotWriteDownload = "cannot write download file";
const char* const kReplyTooLarge = "the reply is larger than 8 MiB";
const char* const kHeaderTooLarge = "the reply's header is larger than 1 MiB";
const char* const kCancelled = "the request was cancelled";

// Replies kept in memory are small JSON texts; anything larger is refused
// rather than held (downloads go to a file and are bounded by the disk).
constexpr size_t kMaxBodyInMemory = 8u << 20;
constexpr size_t kMaxHeader = 1u << 20;
// Redirects followed per request.
constexpr long kMaxRedirects = 5;

// A memory sink with a limit; curl ends the transfer when it takes less
// than it was given.
struct MemorySink {
    std::vector<char>* out;
    size_t limit;
    bool overflowed = false;
};

size_t memorySink(char* data, size_t size, size_t count, void* userdata)
{
    auto* sink = static_cast<MemorySink*>(userdata);
    const size_t n = size * count;
    if (n > sink->limit - sink->out->size()) {
        sink->overflowed = true;
        return 0;
    }
    sink->out->insert(sink->out->end(), data, data + n);
    return n;
}

size_t fileSink(char* data, size_t size, size_t count, void* userdata)
{
    auto* file = static_cast<FILE*>(userdata);
    if (!file)
        return 0; // never reached: a download without its file is not performed
    return std::fwrite(data, size, count, file) * size;
}

// The header sink: kept in memory with a limit; while redirects are
// followed, a Location that leads from https back to plain http ends the
// transfer.
struct HeaderSink {
    MemorySink memory;
    CURL* curl = nullptr;
    bool followsRedirects = false;
    bool downgrade = false;
};

bool startsWithNoCase(const char* text, size_t size, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return size >= n && strncasecmp(text, prefix, n) == 0;
}

size_t headerSink(char* data, size_t size, size_t count, void* userdata)
{
    auto* sink = static_cast<HeaderSink*>(userdata);
    const size_t n = size * count;
    if (sink->followsRedirects && startsWithNoCase(data, n, "location:")) {
        size_t at = std::strlen("location:");
        while (at < n && (data[at] == ' ' || data[at] == '\t'))
            ++at;
        char* effective = nullptr;
        curl_easy_getinfo(sink->curl, CURLINFO_EFFECTIVE_URL, &effective);
        if (effective && startsWithNoCase(effective, std::strlen(effective), "https:") &&
            startsWithNoCase(data + at, n - at, "http:")) {
            sink->downgrade = true;
            return 0;
        }
    }
    return memorySink(data, size, count, &sink->memory);
}

// Which flags end the transfer under way: the client's teardown and the
// cancellation of the request's owner.
struct AbortFlags {
    const std::atomic<bool>* teardown;
    const std::atomic<bool>* cancelled;
};

int abortCheck(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* flags = static_cast<AbortFlags*>(clientp);
    return flags->teardown->load() || flags->cancelled->load() ? 1 : 0;
}

} // namespace

// ---------------------------------------------------------------------------

NSHttpRequest::~NSHttpRequest()
{
    if (formFirst)
        curl_formfree(formFirst);
}

NSHttpResponse::NSHttpResponse(NSHttpRequest* req) : request(req)
{
    if (request) {
        request->retain();
        if (request->requestType == NSHttpRequest::kDownload)
            downloadFile = std::fopen(request->downloadPath.c_str(), "wb");
    }
}

NSHttpResponse::~NSHttpResponse()
{
    if (downloadFile)
        std::fclose(downloadFile);
    if (request)
        request->release();
}

// ---------------------------------------------------------------------------

NSHttpClient* NSHttpClient::getInstance()
{
    NSHttpClient* c = s_instance.load();
    if (c)
        return c;
    std::lock_guard<std::mutex> lock(s_instanceMutex);
    c = s_instance.load();
    if (!c) {
        c = new NSHttpClient();
        s_instance.store(c);
    }
    return c;
}

NSHttpClient* NSHttpClient::getInstanceIfExists() { return s_instance.load(); }

NSHttpClient::NSHttpClient()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    stopRequest = new NSHttpRequest();
}

NSHttpClient::~NSHttpClient()
{
    // Dispatch steps still queued with the engine reach the client only
    // through this pointer; from now on they find nothing.
    NSHttpClient* self = this;
    s_instance.compare_exchange_strong(self, nullptr);

    bool wasStarted = false;
    {
        std::lock_guard<std::mutex> lock(requestQueueMutex);
        wasStarted = started;
        // Queued requests are cancelled, not performed: an exit while the
        // network is unreachable must not wait for each of them.
        for (NSHttpRequest* r : requestQueue)
            r->release(); // the queue's reference
        for (NSHttpRequest* r : requestQueue)
            r->release(); // the reference taken by send
        requestQueue.clear();
        if (wasStarted) {
            stopRequest->retain();
            requestQueue.push_back(stopRequest);
        }
        abortTransfers = true;
    }
    wakeTransfer();
    queueCondition.notify_one();
    if (networkThread.joinable())
        networkThread.join();

    // Without a thread the marker was never consumed.
    if (stopRequest) {
        stopRequest->release();
        stopRequest = nullptr;
    }
}

void NSHttpClient::setCAFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    caFile = path;
}

std::string NSHttpClient::getCAFile() const
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    return caFile;
}

void NSHttpClient::startNetworkThread()
{
    // Called with requestQueueMutex held.
    if (started)
        return;
    started = true;
    scheduler = cocos2d::Director::getInstance()->getScheduler();
    networkThread = std::thread([this] { networkThreadLoop(); });
}

void NSHttpClient::send(NSHttpRequest* request)
{
    {
        std::lock_guard<std::mutex> lock(requestQueueMutex);
        startNetworkThread();
        if (!request)
            return;
        request->retain(); // given back after delivery, drop or cancellation
        request->retain(); // the queue's reference
        requestQueue.push_back(request);
    }
    queueCondition.notify_one();
}

void NSHttpClient::networkThreadLoop()
{
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    while (true) {
        NSHttpRequest* request = nullptr;
        NSHttpResponse* response = nullptr;
        {
            std::unique_lock<std::mutex> lock(requestQueueMutex);
            queueCondition.wait(lock, [this] { return !requestQueue.empty(); });
            request = requestQueue.front();
            requestQueue.pop_front();
            request->release(); // the queue's reference; send's keeps it alive
            currentRequest = request;
            cancelCurrent = false;
            // Made (and a download's file opened) under the lock that
            // cancelRequestsForOwner takes: once it has returned, the owner
            // finds every file of its requests already there to remove.
            if (request != stopRequest)
                response = new NSHttpResponse(request);
        }
        if (request == stopRequest)
            break;

        processResponse(response, errorBuffer);

        bool queued = false;
        {
            std::lock_guard<std::mutex> lock(responseQueueMutex);
            if (request->callback || request->owner) {
                responseQueue.push_back(response);
                queued = true;
            } else {
                response->release();
                request->release(); // send's reference
            }
            currentRequest = nullptr;
        }
        if (queued && s_instance.load() == this && scheduler) {
            scheduler->performFunctionInCocosThread([] {
                if (NSHttpClient* c = s_instance.load())
                    c->dispatchResponse();
            });
        }
    }

    // End of the thread: the marker's reference and every leftover.
    {
        std::lock_guard<std::mutex> lock(requestQueueMutex);
        stopRequest->release();
        stopRequest = nullptr;
        currentRequest = nullptr;
        for (NSHttpRequest* r : requestQueue) {
            r->release();
            r->release();
        }
        requestQueue.clear();
    }
    {
        std::lock_guard<std::mutex> lock(responseQueueMutex);
        for (NSHttpResponse* r : responseQueue) {
            NSHttpRequest* req = r->request;
            r->release();
            req->release();
        }
        responseQueue.clear();
    }
}

void NSHttpClient::processResponse(NSHttpResponse* response, char* errorBuffer)
{
    NSHttpRequest* request = response->request;
    errorBuffer[0] = '\0';
    response->responseCode = -1;
    response->succeeded = false;

    if (request->requestType == NSHttpRequest::kDownload && !response->downloadFile) {
        response->errorText = kCannotOpenDownload;
        return;
    }

    CURL* curl = curl_easy_init();
    if (!curl) {
        response->errorText = "cannot create transfer";
        return;
    }
    curl_slist* headerList = nullptr;
    static const char kEmpty[] = "";
    const char* body = request->requestData.empty() ? kEmpty : request->requestData.data();
    const auto bodySize = static_cast<curl_off_t>(request->requestData.size());
    const std::string ca = getCAFile();
    MemorySink bodySink{&response->responseData, kMaxBodyInMemory};
    HeaderSink headers{{&response->responseHeader, kMaxHeader}};
    headers.curl = curl;
    const int type = request->requestType;
    headers.followsRedirects = type == NSHttpRequest::kGet || type == NSHttpRequest::kPost ||
                               type == NSHttpRequest::kDownload || type == NSHttpRequest::kDelete;
    AbortFlags abortFlags{&abortTransfers, &cancelCurrent};

    auto setup = [&]() -> bool {
#define FW_SET(opt, value)                                                                                            \
    if (curl_easy_setopt(curl, opt, value) != CURLE_OK)                                                             \
        return false;
        FW_SET(CURLOPT_ERRORBUFFER, errorBuffer);
        FW_SET(CURLOPT_TIMEOUT, static_cast<long>(readTimeout.load()));
        FW_SET(CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout.load()));
        FW_SET(CURLOPT_SSL_VERIFYPEER, 1L);
        FW_SET(CURLOPT_SSL_VERIFYHOST, 2L);
        if (!ca.empty())
            FW_SET(CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        FW_SET(CURLOPT_NOPROGRESS, 0L);
        FW_SET(CURLOPT_XFERINFOFUNCTION, abortCheck);
        FW_SET(CURLOPT_XFERINFODATA, &abortFlags);
        FW_SET(CURLOPT_PROTOCOLS_STR, "http,https");
        FW_SET(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        FW_SET(CURLOPT_MAXREDIRS, kMaxRedirects);
        for (const std::string& h : request->headers) {
            curl_slist* next = curl_slist_append(headerList, h.c_str());
            if (!next)
                return false;
            headerList = next;
        }
        if (headerList)
            FW_SET(CURLOPT_HTTPHEADER, headerList);
        FW_SET(CURLOPT_URL, request->url.c_str());
        if (request->requestType == NSHttpRequest::kDownload) {
            FW_SET(CURLOPT_WRITEFUNCTION, fileSink);
            FW_SET(CURLOPT_WRITEDATA, response->downloadFile);
        } else {
            FW_SET(CURLOPT_WRITEFUNCTION, memorySink);
            FW_SET(CURLOPT_WRITEDATA, &bodySink);
        }
        FW_SET(CURLOPT_HEADERFUNCTION, headerSink);
        FW_SET(CURLOPT_HEADERDATA, &headers);

        switch (request->requestType) {
        case NSHttpRequest::kGet: FW_SET(CURLOPT_FOLLOWLOCATION, 1L); break;
        case NSHttpRequest::kPost:
        case NSHttpRequest::kDownload:
            FW_SET(CURLOPT_POST, 1L);
            FW_SET(CURLOPT_FOLLOWLOCATION, 1L);
            FW_SET(CURLOPT_POSTFIELDSIZE_LARGE, bodySize);
            FW_SET(CURLOPT_POSTFIELDS, body);
            break;
        case NSHttpRequest::kPut:
            FW_SET(CURLOPT_CUSTOMREQUEST, "PUT");
            FW_SET(CURLOPT_POSTFIELDSIZE_LARGE, bodySize);
            FW_SET(CURLOPT_POSTFIELDS, body);
            break;
        case NSHttpRequest::kDelete:
            FW_SET(CURLOPT_CUSTOMREQUEST, "DELETE");
            FW_SET(CURLOPT_FOLLOWLOCATION, 1L);
            break;
        case NSHttpRequest::kForm: FW_SET(CURLOPT_HTTPPOST, request->formFirst); break;
        default: return false;
        }
#undef FW_SET
        return true;
    };

    bool ok = setup();
    if (ok) {
        const auto result = static_cast<CURLcode>(perform(curl));
        ok = result == CURLE_OK;
        const char* text = nullptr;
        if (bodySink.overflowed) {
            text = kReplyTooLarge;
            std::vector<char>().swap(response->responseData); // nothing of it is kept
        } else if (headers.memory.overflowed) {
            text = kHeaderTooLarge;
        } else if (headers.downgrade) {
            text = "a redirect from https to http was refused";
        } else if (result == CURLE_ABORTED_BY_CALLBACK && cancelCurrent.load()) {
            text = kCancelled;
        } else if (!ok && errorBuffer[0] == '\0') {
            text = curl_easy_strerror(result); // libcurl left its buffer empty
        }
        if (text)
            std::snprintf(errorBuffer, CURL_ERROR_SIZE, "%s", text);
        if (ok) {
            long code = 0;
            ok = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK;
            if (ok) {
                response->responseCode = static_cast<int>(code);
                ok = code >= 200 && code <= 299;
            }
        }
    } else if (errorBuffer[0] == '\0') {
        std::snprintf(errorBuffer, CURL_ERROR_SIZE, "cannot set up the request");
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headerList);

    // A download is complete only once its file is closed without error.
    if (response->downloadFile) {
        const bool flushed = std::fflush(response->downloadFile) == 0 && !std::ferror(response->downloadFile);
        const bool closed = std::fclose(response->downloadFile) == 0;
        response->downloadFile = nullptr;
        if (ok && !(flushed && closed)) {
            ok = false;
            std::snprintf(errorBuffer, CURL_ERROR_SIZE, "%s", kCannotWriteDownload);
        }
    }

    response->succeeded = ok;
    if (!ok)
        response->errorText = errorBuffer;
}

// Runs the transfer through a multi handle, so that cancelling its owner or
// the teardown can wake the wait and end it at once.
int NSHttpClient::perform(void* easy)
{
    CURL* curl = static_cast<CURL*>(easy);
    CURLM* multi = curl_multi_init();
    if (!multi)
        return curl_easy_perform(curl);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return curl_easy_perform(curl);
    }
    {
        std::lock_guard<std::mutex> lock(multiMutex);
        currentMulti = multi;
    }
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0)
            break;
        if (abortTransfers.load() || cancelCurrent.load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(multiMutex);
        currentMulti = nullptr;
    }
    if (running == 0) {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
                result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return result;
}

void NSHttpClient::wakeTransfer()
{
    std::lock_guard<std::mutex> lock(multiMutex);
    if (currentMulti)
        curl_multi_wakeup(static_cast<CURLM*>(currentMulti));
}

void NSHttpClient::dispatchResponse()
{
    NSHttpResponse* response = nullptr;
    {
        std::lock_guard<std::mutex> lock(responseQueueMutex);
        if (responseQueue.empty())
            return;
        response = responseQueue.front();
        responseQueue.pop_front();
    }
    if (response->downloadFile) {
        std::fclose(response->downloadFile);
        response->downloadFile = nullptr;
    }
    NSHttpRequest* request = response->request;
    if (request->owner && request->callback)
        request->callback(this, response);
    response->release();
    request->release(); // send's reference
}

void NSHttpClient::cancelRequestsForOwner(cocos2d::Ref* owner)
{
    std::lock_guard<std::mutex> requestLock(requestQueueMutex);
    if (!started)
        return;
    std::lock_guard<std::mutex> responseLock(responseQueueMutex);

    for (auto it = requestQueue.begin(); it != requestQueue.end();) {
        NSHttpRequest* r = *it;
        if (r != stopRequest && r->owner == owner) {
            cocos2d::log("clear");
            it = requestQueue.erase(it);
            r->release(); // the queue's reference
            r->release(); // send's reference
        } else {
            ++it;
        }
    }
    for (auto it = responseQueue.begin(); it != responseQueue.end();) {
        NSHttpResponse* r = *it;
        if (r->request->owner == owner) {
            it = responseQueue.erase(it);
            if (r->downloadFile) {
                std::fclose(r->downloadFile);
                r->downloadFile = nullptr;
            }
            NSHttpRequest* req = r->request;
            r->release();
            req->release(); // send's reference
        } else {
            ++it;
        }
    }
    if (currentRequest && currentRequest != stopRequest && currentRequest->owner == owner) {
        currentRequest->owner = nullptr;
        currentRequest->callback = nullptr;
        cancelCurrent = true;
        wakeTransfer();
    }
}

} // namespace NSUI
