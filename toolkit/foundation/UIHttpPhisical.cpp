#include "toolkit/foundation/UIHttpPhisical.h"

#include "toolkit/foundation/NSFiles.h"
#include "toolkit/foundation/NSJson.h"

// Multipart forms are built with curl_formadd (the form travels with the
// request); libcurl marks that interface as superseded, not removed.
#define CURL_DISABLE_DEPRECATION 1
#include <curl/curl.h>

#include <cstring>

namespace NSUI {

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kJsonContentType[] = "Content-Type: application/json; charset=utf-8";

void addHeaders(NSHttpRequest* request, const std::string& credential, const std::string& extraHeader,
                bool jsonByDefault)
{
    if (!credential.empty())
        request->headers.push_back("Authorization: Basic " + base64Encode(credential.data(),
                                                                          static_cast<uint32_t>(credential.size())));
    if (!extraHeader.empty())
        request->headers.push_back(extraHeader);
    else if (jsonByDefault)
        request->headers.push_back(kJsonContentType);
}

// The text up to its first zero byte.
std::string cText(const std::string& s) { return std::string(s.c_str()); }

} // namespace

std::string base64Encode(const void* data, uint32_t length)
{
    const auto* in = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((static_cast<size_t>(length) + 2) / 3 * 4);
    uint32_t i = 0;
    for (; i + 2 < length; i += 3) {
        const uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < length) {
        uint32_t v = in[i] << 16;
        if (i + 1 < length)
            v |= in[i + 1] << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += (i + 1 < length) ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// ---------------------------------------------------------------------------
// UIHttpResponse

UIHttpResponse* UIHttpResponse::create()
{
    auto* r = new UIHttpResponse();
    r->init();
    r->autorelease();
    return r;
}

bool UIHttpResponse::init()
{
    tag = "-1";
    succeeded = false;
    responseCode = -1;
    body.clear();
    return true;
}

UIHttpResponse* UIHttpResponse::createWithResponse(NSHttpClient* client, NSHttpResponse* response)
{
    if (!client || !response)
        return nullptr;
    UIHttpResponse* r = create();
    if (response->request)
        r->tag = cText(response->request->tag);
    r->succeeded = response->succeeded;
    r->responseCode = response->responseCode;
    if (!response->responseData.empty())
        r->body.assign(response->responseData.begin(), response->responseData.end());
    else
        r->body = cText(response->errorText);
    return r;
}

// ---------------------------------------------------------------------------
// UIHttpPhisical

UIHttpPhisical::~UIHttpPhisical()
{
    if (NSHttpClient* client = NSHttpClient::getInstanceIfExists())
        client->cancelRequestsForOwner(httpOwner);
}

void UIHttpPhisical::sendTextRequest(int type, const std::string& url, const std::string& body,
                                     const std::string& tag, const std::string& credential,
                                     const std::string& extraHeader)
{
    auto* request = new NSHttpRequest();
    request->url = cText(url);
    request->requestType = type;
    request->callback = [this](NSHttpClient* c, NSHttpResponse* r) { onRequestCompleted(c, r); };
    request->owner = httpOwner;
    addHeaders(request, credential, extraHeader, true);
    request->requestData.assign(body.begin(), body.end());
    request->tag = cText(tag);
    NSHttpClient::getInstance()->send(request);
    request->release();
}

void UIHttpPhisical::doHttpGet(std::string url, std::string body, std::string tag, std::string credential,
                               std::string extraHeader)
{
    sendTextRequest(NSHttpRequest::kGet, url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::doHttpPost(std::string url, std::string body, std::string tag, std::string credential,
                                std::string extraHeader)
{
    sendTextRequest(NSHttpRequest::kPost, url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::doHttpDelete(std::string url, std::string body, std::string tag, std::string credential,
                                  std::string extraHeader)
{
    sendTextRequest(NSHttpRequest::kDelete, url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::doHttpPut(std::string url, std::string body, std::string tag, std::string credential,
                               std::string extraHeader)
{
    sendTextRequest(NSHttpRequest::kPut, url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::httpGet(std::string url, std::string body, std::string tag, std::string credential,
                             std::string extraHeader)
{
    doHttpGet(url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::httpPut(std::string url, std::string body, std::string tag, std::string credential,
                             std::string extraHeader)
{
    doHttpPut(url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::httpPost(std::string url, std::string body, std::string tag, std::string credential,
                              std::string extraHeader)
{
    doHttpPost(url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::httpDelete(std::string url, std::string body, std::string tag, std::string credential,
                                std::string extraHeader)
{
    doHttpDelete(url, body, tag, credential, extraHeader);
}

void UIHttpPhisical::httpUpload(std::string fieldName, std::string uploadInfo, std::string filePath,
                                std::string contentType, std::string tag, std::string url, std::string credential,
                                std::string extraHeader)
{
    auto* request = new NSHttpRequest();
    request->url = cText(url);
    request->requestType = NSHttpRequest::kForm;
    curl_formadd(&request->formFirst, &request->formLast, CURLFORM_COPYNAME, fieldName.c_str(), CURLFORM_FILE,
                 filePath.c_str(), CURLFORM_CONTENTTYPE, contentType.c_str(), CURLFORM_END);
    curl_formadd(&request->formFirst, &request->formLast, CURLFORM_COPYNAME, "uploadInfo", CURLFORM_COPYCONTENTS,
                 uploadInfo.c_str(), CURLFORM_END);
    request->callback = [this](NSHttpClient* c, NSHttpResponse* r) { onUploadCompleted(c, r); };
    request->owner = httpOwner;
    addHeaders(request, credential, extraHeader, false);
    request->tag = cText(tag);
    NSHttpClient::getInstance()->send(request);
    request->release();
}

void UIHttpPhisical::httpDownload(std::string url, std::string body, std::string localPath, std::string tag,
                                  bool /*unused*/, std::string credential, std::string extraHeader)
{
    auto* request = new NSHttpRequest();
    request->url = cText(url);
    request->requestType = NSHttpRequest::kDownload;
    request->callback = [this](NSHttpClient* c, NSHttpResponse* r) { onDownloadCompleted(c, r); };
    request->owner = httpOwner;
    addHeaders(request, credential, extraHeader, true);
    request->requestData.assign(body.begin(), body.end());
    // Create the file's folder; a bare file name has none to create.
    if (localPath.find_first_of("/\\") != std::string::npos) {
        const std::string folder = getDirectoryPath(localPath);
        auto* files = cocos2d::FileUtils::getInstance();
        if (!folder.empty() && !files->isDirectoryExist(folder))
            files->createDirectory(folder);
    }
    request->tag = cText(tag);
    request->downloadPath = localPath;
    NSHttpClient::getInstance()->send(request);
    request->release();
}

void UIHttpPhisical::onUploadCompleted(NSHttpClient* client, NSHttpResponse* response)
{
    if (UIHttpResponse* r = UIHttpResponse::createWithResponse(client, response))
        onHttpResponse(r);
}

void UIHttpPhisical::onRequestCompleted(NSHttpClient* client, NSHttpResponse* response)
{
    if (UIHttpResponse* r = UIHttpResponse::createWithResponse(client, response))
        onHttpResponse(r);
}

void UIHttpPhisical::onDownloadCompleted(NSHttpClient* client, NSHttpResponse* response)
{
    UIHttpResponse* r = UIHttpResponse::createWithResponse(client, response);
    if (!r)
        return;
    r->body.clear();
    if (response->succeeded && response->responseCode == 200) {
        const std::string& path = response->request->downloadPath;
        UIJson::setJsonString(r->body, "localFile", path);
        UIJson::setJsonInt(r->body, "fileSize",
                           static_cast<int>(cocos2d::FileUtils::getInstance()->getFileSize(path)));
    }
    onHttpResponse(r);
}

} // namespace NSUI
