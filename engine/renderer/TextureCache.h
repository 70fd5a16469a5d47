// Textures by full path. Reached through Director::getTextureCache().
//
// addImageAsync decodes on one loader thread; the texture is made and the
// callback called on the UI thread at a later frame (through the
// scheduler's hand-off queue), in the order the decodes completed, with
// null on failure. unbindImageAsyncForOwner(owner) guarantees that no
// pending completion of that owner is called after it returns.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "engine/base/Ref.h"
#include "engine/renderer/Texture2D.h"

NS_CC_BEGIN

class Scheduler;

class TextureCache : public Ref {
 public:
  // The cache of the current Director (UI thread).
  static TextureCache* getInstance();
  // Stops the loader thread (pending requests are dropped) and releases
  // every texture. Called when the Director goes.
  static void destroyInstance();

  // Synchronous; keyed by full path. Null for a missing or undecodable file.
  Texture2D* addImage(const std::string& path);
  void addImageAsync(const std::string& path, const std::function<void(Texture2D*)>& callback,
                     const void* owner = nullptr);
  void unbindImageAsyncForOwner(const void* owner);
  void unbindAllImageAsync();

  // A full path or a name that resolves through FileUtils.
  Texture2D* getTextureForKey(const std::string& key) const;
  void removeTextureForKey(const std::string& key);
  void removeTexture(Texture2D* texture);
  void removeAllTextures();
  size_t getTextureCount() const { return _textures.size(); }

  ~TextureCache() override;

 private:
  struct Request;

  friend class Director;
  explicit TextureCache(Scheduler* scheduler);
  void loaderMain();
  void complete(const std::shared_ptr<Request>& request);
  std::string keyFor(const std::string& path) const;

  Scheduler* _scheduler;
  std::unordered_map<std::string, Texture2D*> _textures;

  std::mutex _mutex;
  std::condition_variable _wake;
  std::deque<std::shared_ptr<Request>> _queue;
  std::deque<std::shared_ptr<Request>> _live;  // UI thread: not yet completed
  bool _stop = false;
  std::thread _loader;
};

NS_CC_END
