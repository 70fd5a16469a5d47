// Sound effects: WAV files played through SDL2 audio, mixed in the audio
// callback with their gain, once or looping. The device is opened on first
// use; without a device everything stays silent and the calls still
// succeed. A file that cannot be found or decoded is logged and gives id 0.
// Pitch and pan are accepted and ignored.
//
// Calls come from the UI thread; the mixer runs on SDL's audio thread.
// end() closes the device (the audio thread is gone when it returns) and
// drops the instance; Director::end calls it. Calling end() again, or before
// any use, does nothing.
#pragma once

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class SimpleAudioEngine {
 public:
  static SimpleAudioEngine* getInstance();
  static void end();

  // Decodes the file now so that the first play does not wait for it.
  void preloadEffect(const char* filePath);
  // Returns the id of the playing effect, 0 when the file is missing or
  // undecodable.
  unsigned int playEffect(const char* filePath, bool loop = false, float pitch = 1.0f, float pan = 0.0f,
                          float gain = 1.0f);
  void stopAllEffects();

  // Effects being mixed now (tests).
  int getPlayingEffectCount() const;
  bool hasDevice() const;

 private:
  SimpleAudioEngine();
  ~SimpleAudioEngine();
  SimpleAudioEngine(const SimpleAudioEngine&) = delete;
  SimpleAudioEngine& operator=(const SimpleAudioEngine&) = delete;
  struct Impl;
  Impl* _impl;
};

NS_CC_END
