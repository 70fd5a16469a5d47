// Sound effects under SDL's dummy audio driver: a real device and mixer
// thread without sound hardware.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "support_engine.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

// A mono 16-bit WAV of n samples at rate.
void writeWav(const std::string& path, int rate, int n) {
  std::vector<int16_t> samples(static_cast<size_t>(n), 1000);
  const uint32_t data = static_cast<uint32_t>(n) * 2;
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  f.write("RIFF", 4);
  u32(36 + data);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate) * 2);
  u16(2);
  u16(16);
  f.write("data", 4);
  u32(data);
  f.write(reinterpret_cast<const char*>(samples.data()), data);
}

}  // namespace

TEST(Audio, PlaysPreloadedAndLoopingEffectsAndEndsTwice) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TempDir dir;
  writeWav(dir.path + "short.wav", 22050, 100);
  writeWav(dir.path + "long.wav", 8000, 8000);
  std::ofstream(dir.path + "broken.wav") << "not a wave file";
  {
    HeadlessEngine e;
    auto* audio = SimpleAudioEngine::getInstance();
    audio->preloadEffect((dir.path + "short.wav").c_str());
    const unsigned a = audio->playEffect((dir.path + "short.wav").c_str());
    const unsigned b = audio->playEffect((dir.path + "long.wav").c_str(), true, 1, 0, 0.5f);
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(audio->playEffect((dir.path + "missing.wav").c_str()), 0u);
    EXPECT_EQ(audio->playEffect((dir.path + "broken.wav").c_str()), 0u);
    if (audio->hasDevice()) {
      // The short effect ends on its own; the looping one keeps playing.
      for (int i = 0; i < 200 && audio->getPlayingEffectCount() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      EXPECT_EQ(audio->getPlayingEffectCount(), 1);
      audio->stopAllEffects();
      EXPECT_EQ(audio->getPlayingEffectCount(), 0);
      audio->playEffect((dir.path + "long.wav").c_str(), true);
    }
    // The Director's end closes the device with an effect still playing.
  }
  SimpleAudioEngine::end();
  SimpleAudioEngine::end();
  // A later use opens the device again.
  EXPECT_NE(SimpleAudioEngine::getInstance()->playEffect((dir.path + "short.wav").c_str()), 0u);
  SimpleAudioEngine::end();
}
