// HTTP mix-in: any object sends GET, POST, PUT and DELETE with a text body,
// a multipart upload of one file, or a download into a local file, and gets
// the outcome back on the UI thread as a UIHttpResponse in onHttpResponse.
// The inheriting class sets httpOwner to itself before it sends anything;
// destroying the object cancels every request it still has in the client.
//
// The credential is the text for HTTP Basic authorization (normally
// "user:password"); "" sends no authorization. The extra header is one
// complete header line; "" means none, and then text requests and
// downloads are labelled "Content-Type: application/json; charset=utf-8".
#pragma once

#include "toolkit/foundation/NSHttpClient.h"

#include <cstdint>
#include <string>

namespace NSUI {

// The outcome of one request as the application reads it.
class UIHttpResponse : public cocos2d::Ref {
public:
    static UIHttpResponse* create();
    // Autoreleased; null when either argument is null. The body is the
    // received body, or the error text when there is none.
    static UIHttpResponse* createWithResponse(NSHttpClient* client, NSHttpResponse* response);

    ~UIHttpResponse() override = default;
    virtual bool init();

    std::string tag = "-1";
    bool succeeded = false;
    int responseCode = -1;
    std::string body;
};

class UIHttpPhisical {
public:
    UIHttpPhisical() = default;
    virtual ~UIHttpPhisical();

    // Multipart form: the file under `fieldName`, then the field
    // "uploadInfo" with `uploadInfo`.
    virtual void httpUpload(std::string fieldName, std::string uploadInfo, std::string filePath,
                            std::string contentType, std::string tag, std::string url, std::string credential = "",
                            std::string extraHeader = "");
    // POSTs `body` and writes the reply into `localPath`, creating its
    // folder. On status 200 the record's body is {"localFile":..., "fileSize":...}.
    virtual void httpDownload(std::string url, std::string body, std::string localPath, std::string tag,
                              bool unused, std::string credential = "", std::string extraHeader = "");
    virtual void doHttpGet(std::string url, std::string body, std::string tag, std::string credential = "",
                           std::string extraHeader = "");
    virtual void doHttpPost(std::string url, std::string body, std::string tag, std::string credential = "",
                            std::string extraHeader = "");
    virtual void doHttpDelete(std::string url, std::string body, std::string tag, std::string credential = "",
                              std::string extraHeader = "");
    virtual void doHttpPut(std::string url, std::string body, std::string tag, std::string credential = "",
                           std::string extraHeader = "");
    virtual void httpGet(std::string url, std::string body, std::string tag, std::string credential = "",
                         std::string extraHeader = "");
    virtual void httpPut(std::string url, std::string body, std::string tag, std::string credential = "",
                         std::string extraHeader = "");
    virtual void httpPost(std::string url, std::string body, std::string tag, std::string credential = "",
                          std::string extraHeader = "");
    virtual void httpDelete(std::string url, std::string body, std::string tag, std::string credential = "",
                            std::string extraHeader = "");
    virtual void onUploadCompleted(NSHttpClient* client, NSHttpResponse* response);
    virtual void onRequestCompleted(NSHttpClient* client, NSHttpResponse* response);
    virtual void onDownloadCompleted(NSHttpClient* client, NSHttpResponse* response);
    virtual void onHttpResponse(UIHttpResponse* response) {}

protected:
    // Not retained; the key under which this object's requests are
    // answered and cancelled.
    cocos2d::Ref* httpOwner = nullptr;

private:
    void sendTextRequest(int type, const std::string& url, const std::string& body, const std::string& tag,
                         const std::string& credential, const std::string& extraHeader);
};

// Standard Base64 (RFC 4648 alphabet, padded, no line breaks).
std::string base64Encode(const void* data, uint32_t length);

} // namespace NSUI
