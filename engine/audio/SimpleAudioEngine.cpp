#include "engine/audio/SimpleAudioEngine.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"

NS_CC_BEGIN

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;

using Samples = std::vector<float>;  // interleaved stereo at kRate

struct Voice {
  unsigned int id = 0;
  std::shared_ptr<const Samples> samples;
  size_t position = 0;
  bool loop = false;
  float gain = 1;
};

SimpleAudioEngine* g_instance = nullptr;

}  // namespace

struct SimpleAudioEngine::Impl {
  bool tried = false;
  SDL_AudioDeviceID device = 0;
  std::unordered_map<std::string, std::shared_ptr<const Samples>> sounds;  // by full path
  unsigned int nextId = 1;

  mutable std::mutex mutex;  // guards voices (UI thread and audio thread)
  std::vector<Voice> voices;

  static void mix(void* userdata, Uint8* stream, int len) {
    auto* self = static_cast<Impl*>(userdata);
    auto* out = reinterpret_cast<float*>(stream);
    const size_t count = static_cast<size_t>(len) / sizeof(float);
    std::fill(out, out + count, 0.0f);
    std::lock_guard<std::mutex> lock(self->mutex);
    for (Voice& v : self->voices) {
      const Samples& s = *v.samples;
      size_t i = 0;
      while (i < count && !s.empty()) {
        if (v.position >= s.size()) {
          if (!v.loop) break;
          v.position = 0;
        }
        const size_t n = std::min(count - i, s.size() - v.position);
        for (size_t k = 0; k < n; ++k) out[i + k] += s[v.position + k] * v.gain;
        i += n;
        v.position += n;
      }
    }
    self->voices.erase(std::remove_if(self->voices.begin(), self->voices.end(),
                                      [](const Voice& v) { return !v.loop && v.position >= v.samples->size(); }),
                       self->voices.end());
    for (size_t i = 0; i < count; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
  }

  void openDevice() {
    if (tried) return;
    tried = true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      log("SimpleAudioEngine: no audio (%s); effects are silent", SDL_GetError());
      return;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.samples = 1024;
    want.callback = &Impl::mix;
    want.userdata = this;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
      log("SimpleAudioEngine: no audio device (%s); effects are silent", SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return;
    }
    SDL_PauseAudioDevice(device, 0);
  }

  void closeDevice() {
    if (device != 0) {
      SDL_CloseAudioDevice(device);  // returns after the callback has finished
      device = 0;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
  }

  std::shared_ptr<const Samples> load(const char* filePath) {
    if (!filePath || !*filePath) return nullptr;
    const std::string full = FileUtils::getInstance()->fullPathForFilename(filePath);
    if (full.empty()) {
      log("SimpleAudioEngine: %s not found", filePath);
      return nullptr;
    }
    auto it = sounds.find(full);
    if (it != sounds.end()) return it->second;
    SDL_AudioSpec wavFormat{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(full.c_str(), &wavFormat, &buffer, &length)) {
      log("SimpleAudioEngine: cannot decode %s (%s)", full.c_str(), SDL_GetError());
      return nullptr;
    }
    SDL_AudioCVT cvt;
    const int built = SDL_BuildAudioCVT(&cvt, wavFormat.format, wavFormat.channels, wavFormat.freq, AUDIO_F32SYS, kChannels, kRate);
    if (built < 0) {
      log("SimpleAudioEngine: cannot convert %s (%s)", full.c_str(), SDL_GetError());
      SDL_FreeWAV(buffer);
      return nullptr;
    }
    std::vector<Uint8> work(static_cast<size_t>(length) * static_cast<size_t>(std::max(1, cvt.len_mult)));
    std::copy(buffer, buffer + length, work.begin());
    SDL_FreeWAV(buffer);
    cvt.buf = work.data();
    cvt.len = static_cast<int>(length);
    if (built > 0 && SDL_ConvertAudio(&cvt) != 0) {
      log("SimpleAudioEngine: cannot convert %s (%s)", full.c_str(), SDL_GetError());
      return nullptr;
    }
    const size_t bytes = built > 0 ? static_cast<size_t>(cvt.len_cvt) : length;
    auto samples = std::make_shared<Samples>(bytes / sizeof(float));
    std::memcpy(samples->data(), work.data(), samples->size() * sizeof(float));
    sounds.emplace(full, samples);
    return samples;
  }
};

SimpleAudioEngine* SimpleAudioEngine::getInstance() {
  if (!g_instance) g_instance = new SimpleAudioEngine;
  return g_instance;
}

void SimpleAudioEngine::end() {
  SimpleAudioEngine* e = g_instance;
  g_instance = nullptr;
  delete e;
}

SimpleAudioEngine::SimpleAudioEngine() : _impl(new Impl) {}

SimpleAudioEngine::~SimpleAudioEngine() {
  _impl->closeDevice();
  delete _impl;
}

void SimpleAudioEngine::preloadEffect(const char* filePath) {
  _impl->openDevice();
  _impl->load(filePath);
}

unsigned int SimpleAudioEngine::playEffect(const char* filePath, bool loop, float, float, float gain) {
  _impl->openDevice();
  auto samples = _impl->load(filePath);
  if (!samples) return 0;
  const unsigned int id = _impl->nextId++;
  if (_impl->nextId == 0) _impl->nextId = 1;
  if (_impl->device != 0 && !samples->empty()) {
    Voice v;
    v.id = id;
    v.samples = std::move(samples);
    v.loop = loop;
    v.gain = std::max(0.0f, gain);
    std::lock_guard<std::mutex> lock(_impl->mutex);
    _impl->voices.push_back(std::move(v));
  }
  return id;
}

void SimpleAudioEngine::stopAllEffects() {
  std::lock_guard<std::mutex> lock(_impl->mutex);
  _impl->voices.clear();
}

int SimpleAudioEngine::getPlayingEffectCount() const {
  std::lock_guard<std::mutex> lock(_impl->mutex);
  return static_cast<int>(_impl->voices.size());
}

bool SimpleAudioEngine::hasDevice() const { return _impl->device != 0; }

NS_CC_END
