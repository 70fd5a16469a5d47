#include "toolkit/foundation/NSHttpClient.h"

// Multipart forms are built with curl_formadd (the form travels with the
// request); libcurl marks that interface as superseded, not removed.
#define CURL_DISABLE_DEPRECATION 1
#include <curl/curl.h>

#include <cstring>

namespace NSUI {

namespace {

std::atomic<NSHttpClient*> s_instance{nullptr};
std::mutex s_instanceMutex;

const char* const kCannotOpenDownload = "cannot open download file";
const char* const kCannotWriteDownload = "cannot write download file";

size_t memorySink(char* data, size_t size, size_t count, void* userdata)
{
    auto* out = static_cast<std::vector<char>*>(userdata);
    out->insert(out->end(), data, data + size * count);
    return size * count;
}

size_t fileSink(char* data, size_t size, size_t count, void* userdata)
{
    auto* file = static_cast<FILE*>(userdata);
    if (!file)
        return 0; // never reached: a download without its file is not performed
    return std::fwrite(data, size, count, file) * size;
}

int abortCheck(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool>*>(clientp)->load() ? 1 : 0;
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
        {
            std::unique_lock<std::mutex> lock(requestQueueMutex);
            queueCondition.wait(lock, [this] { return !requestQueue.empty(); });
            request = requestQueue.front();
            requestQueue.pop_front();
            request->release(); // the queue's reference; send's keeps it alive
            currentRequest = request;
        }
        if (request == stopRequest)
            break;

        auto* response = new NSHttpResponse(request);
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
        FW_SET(CURLOPT_XFERINFODATA, &abortTransfers);
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
            FW_SET(CURLOPT_WRITEDATA, &response->responseData);
        }
        FW_SET(CURLOPT_HEADERFUNCTION, memorySink);
        FW_SET(CURLOPT_HEADERDATA, &response->responseHeader);

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
        ok = curl_easy_perform(curl) == CURLE_OK;
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
    if (currentRequest && currentRequest->owner == owner) {
        currentRequest->owner = nullptr;
        currentRequest->callback = nullptr;
    }
}

} // namespace NSUI
