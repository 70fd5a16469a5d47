#include "engine/renderer/TextureCache.h"

#include <algorithm>
#include <atomic>

#include "engine/base/Director.h"
#include "engine/base/Scheduler.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "engine/platform/Image.h"

NS_CC_BEGIN

struct TextureCache::Request {
  std::string key;                               // full path; read-only after creation
  std::function<void(Texture2D*)> callback;      // UI thread only
  const void* owner = nullptr;                   // UI thread only
  std::atomic<bool> cancelled{false};
  std::unique_ptr<Image> image;                  // written by the loader before posting
};

namespace {
TextureCache* g_textureCache = nullptr;
}

TextureCache* TextureCache::getInstance() {
  Scheduler* scheduler = Director::getInstance()->getScheduler();
  if (g_textureCache && g_textureCache->_scheduler != scheduler) destroyInstance();
  if (!g_textureCache) g_textureCache = new TextureCache(scheduler);
  return g_textureCache;
}

void TextureCache::destroyInstance() {
  if (!g_textureCache) return;
  TextureCache* c = g_textureCache;
  g_textureCache = nullptr;
  c->release();
}

TextureCache* Director::getTextureCache() const { return TextureCache::getInstance(); }

TextureCache::TextureCache(Scheduler* scheduler) : _scheduler(scheduler) {}

TextureCache::~TextureCache() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _stop = true;
    _queue.clear();
  }
  _wake.notify_all();
  if (_loader.joinable()) _loader.join();
  for (auto& r : _live) r->cancelled = true;
  _live.clear();
  if (_scheduler) _scheduler->removeFunctionInCocosThread(this);
  for (auto& kv : _textures) kv.second->release();
  _textures.clear();
}

std::string TextureCache::keyFor(const std::string& path) const {
  if (path.empty()) return path;
  return FileUtils::getInstance()->fullPathForFilename(path);
}

Texture2D* TextureCache::addImage(const std::string& path) {
  const std::string key = keyFor(path);
  if (key.empty()) return nullptr;
  auto it = _textures.find(key);
  if (it != _textures.end()) return it->second;
  Image image;
  if (!image.initWithImageFile(key)) return nullptr;
  auto* tex = new Texture2D;
  if (!tex->initWithImage(&image)) {
    tex->release();
    return nullptr;
  }
  _textures.emplace(key, tex);
  return tex;
}

void TextureCache::addImageAsync(const std::string& path, const std::function<void(Texture2D*)>& callback,
                                 const void* owner) {
  auto request = std::make_shared<Request>();
  request->key = keyFor(path);
  request->callback = callback;
  request->owner = owner;
  _live.push_back(request);
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _queue.push_back(request);
    if (!_loader.joinable()) _loader = std::thread([this] { loaderMain(); });
  }
  _wake.notify_one();
}

void TextureCache::loaderMain() {
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::unique_lock<std::mutex> lock(_mutex);
      _wake.wait(lock, [this] { return _stop || !_queue.empty(); });
      if (_stop) return;
      request = _queue.front();
      _queue.pop_front();
    }
    if (!request->cancelled.load()) {
      // A texture already cached needs no decode; the UI side finds it.
      auto image = std::make_unique<Image>();
      if (!request->key.empty() && image->initWithImageFile(request->key))
        request->image = std::move(image);
    }
    _scheduler->performFunctionInCocosThread(this, [this, request] { complete(request); });
  }
}

void TextureCache::complete(const std::shared_ptr<Request>& request) {
  auto it = std::find(_live.begin(), _live.end(), request);
  if (it != _live.end()) _live.erase(it);
  if (request->cancelled.load()) return;
  Texture2D* tex = nullptr;
  auto cached = _textures.find(request->key);
  if (cached != _textures.end()) {
    tex = cached->second;
  } else if (request->image) {
    tex = new Texture2D;
    if (tex->initWithImage(request->image.get())) {
      _textures.emplace(request->key, tex);
    } else {
      tex->release();
      tex = nullptr;
    }
  }
  request->image.reset();
  auto callback = std::move(request->callback);
  if (callback) callback(tex);
}

void TextureCache::unbindImageAsyncForOwner(const void* owner) {
  for (auto& r : _live) {
    if (r->owner == owner) {
      r->cancelled = true;
      r->callback = nullptr;
    }
  }
}

void TextureCache::unbindAllImageAsync() {
  for (auto& r : _live) {
    r->cancelled = true;
    r->callback = nullptr;
  }
}

Texture2D* TextureCache::getTextureForKey(const std::string& key) const {
  auto it = _textures.find(key);
  if (it != _textures.end()) return it->second;
  it = _textures.find(keyFor(key));
  return it != _textures.end() ? it->second : nullptr;
}

void TextureCache::removeTextureForKey(const std::string& key) {
  auto it = _textures.find(key);
  if (it == _textures.end()) it = _textures.find(keyFor(key));
  if (it == _textures.end()) return;
  it->second->release();
  _textures.erase(it);
}

void TextureCache::removeTexture(Texture2D* texture) {
  for (auto it = _textures.begin(); it != _textures.end(); ++it) {
    if (it->second == texture) {
      texture->release();
      _textures.erase(it);
      return;
    }
  }
}

void TextureCache::removeAllTextures() {
  for (auto& kv : _textures) kv.second->release();
  _textures.clear();
}

NS_CC_END
