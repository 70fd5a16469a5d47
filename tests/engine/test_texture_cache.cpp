// Texture cache without GL: synchronous and asynchronous loads, completion
// order, unbinding by owner, and replacing a picture under the same name.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/Image.h"
#include "engine/renderer/TextureCache.h"
#include "support_engine.h"

USING_NS_CC;

namespace {

void writeSolidPng(const std::string& path, int w, int h, unsigned char r, unsigned char g,
                   unsigned char b) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < px.size(); i += 3) {
    px[i] = r;
    px[i + 1] = g;
    px[i + 2] = b;
  }
  Image img;
  ASSERT_TRUE(img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), w, h, 8));
  // Thumbnails carry no extension: write as .png, then rename.
  ASSERT_TRUE(img.saveToFile(path + ".png"));
  ASSERT_EQ(std::rename((path + ".png").c_str(), path.c_str()), 0);
}

class TextureCacheTest : public ::testing::Test {
 protected:
  void TearDown() override { Director::destroyInstance(); }

  // Steps frames until pred holds (bounded by wall time, not frame count).
  template <class Pred>
  bool stepUntil(Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Director::getInstance()->stepFrame();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  TempDir dir;
};

}  // namespace

TEST_F(TextureCacheTest, SyncLoadKeysByFullPathAndRefusesBadFiles) {
  writeSolidPng(dir.path + "red.png", 3, 2, 255, 0, 0);
  writeFile(dir.path + "bad.png", "not a picture at all");
  TextureCache* cache = Director::getInstance()->getTextureCache();
  ASSERT_NE(cache, nullptr);

  Texture2D* t = cache->addImage(dir.path + "red.png");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->getName(), 0u);  // headless
  EXPECT_EQ(t->getPixelsWide(), 3);
  EXPECT_EQ(t->getPixelsHigh(), 2);
  EXPECT_EQ(t->getContentSize().width, 3);
  EXPECT_EQ(t->getPixelFormat(), Texture2D::PixelFormat::RGB888);
  ASSERT_EQ(t->getCpuPixels().size(), 18u);
  EXPECT_EQ(t->getCpuPixels()[0], 255);
  EXPECT_EQ(cache->addImage(dir.path + "red.png"), t);
  EXPECT_EQ(cache->getTextureForKey(dir.path + "red.png"), t);

  EXPECT_EQ(cache->addImage(dir.path + "bad.png"), nullptr);
  EXPECT_EQ(cache->addImage(dir.path + "missing.png"), nullptr);
  EXPECT_EQ(cache->addImage(""), nullptr);
  EXPECT_EQ(cache->getTextureCount(), 1u);
}

TEST_F(TextureCacheTest, AsyncCompletesOnUiThreadInOrderWithNullForFailures) {
  const std::vector<std::string> names = {"a.png", "bad.png", "b.png", "missing.png", "a.png", "c.png"};
  writeSolidPng(dir.path + "a.png", 4, 4, 10, 20, 30);
  writeSolidPng(dir.path + "b.png", 8, 2, 40, 50, 60);
  writeSolidPng(dir.path + "c.png", 1, 1, 70, 80, 90);
  writeFile(dir.path + "bad.png", "\x89PNG\r\n\x1a\n truncated");
  TextureCache* cache = Director::getInstance()->getTextureCache();

  std::vector<std::pair<std::string, Texture2D*>> done;
  bool offThread = false;
  for (const auto& n : names) {
    cache->addImageAsync(dir.path + n, [&, n](Texture2D* t) {
      if (!Director::getInstance()->isUIThread()) offThread = true;
      done.emplace_back(n, t);
    });
  }
  EXPECT_TRUE(done.empty());  // never called back inside addImageAsync
  ASSERT_TRUE(stepUntil([&] { return done.size() == names.size(); }));
  EXPECT_FALSE(offThread);
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(done[i].first, names[i]);
    const bool shouldFail = names[i] == "bad.png" || names[i] == "missing.png";
    EXPECT_EQ(done[i].second == nullptr, shouldFail) << names[i];
  }
  EXPECT_EQ(done[0].second, done[4].second);  // one texture per path
  EXPECT_EQ(done[2].second->getPixelsWide(), 8);
  EXPECT_EQ(cache->getTextureForKey(dir.path + "c.png"), done[5].second);
}

TEST_F(TextureCacheTest, UnbindingAnOwnerSilencesItsPendingCompletions) {
  writeSolidPng(dir.path + "p.png", 64, 64, 1, 2, 3);
  TextureCache* cache = Director::getInstance()->getTextureCache();
  int ownerA = 0, ownerB = 0;
  int callsA = 0, callsB = 0;
  const int rounds = 40;
  for (int i = 0; i < rounds; ++i) {
    cache->addImageAsync(dir.path + "p.png", [&](Texture2D*) { ++callsA; }, &ownerA);
    cache->addImageAsync(dir.path + "p.png", [&](Texture2D*) { ++callsB; }, &ownerB);
    // Let some of A's requests complete before the unbind.
    if (i == rounds / 2) {
      ASSERT_TRUE(stepUntil([&] { return callsA > 0; }));
    }
  }
  const int beforeUnbind = callsA;
  cache->unbindImageAsyncForOwner(&ownerA);
  ASSERT_TRUE(stepUntil([&] { return callsB == rounds; }));
  for (int i = 0; i < 5; ++i) Director::getInstance()->stepFrame();
  EXPECT_EQ(callsA, beforeUnbind);
  EXPECT_LT(callsA, rounds);
}

TEST_F(TextureCacheTest, DestroyingTheDirectorWithPendingLoadsCallsNothing) {
  writeSolidPng(dir.path + "p.png", 256, 256, 1, 2, 3);
  int calls = 0;
  for (int i = 0; i < 20; ++i) {
    Director::getInstance()->getTextureCache()->addImageAsync(dir.path + "p.png", [&](Texture2D*) { ++calls; });
  }
  Director::destroyInstance();
  for (int i = 0; i < 5; ++i) Director::getInstance()->stepFrame();
  EXPECT_EQ(calls, 0);
}

TEST_F(TextureCacheTest, RemoveTextureForKeyThenReloadShowsTheNewPicture) {
  const std::string path = dir.path + "thumb";
  writeSolidPng(path, 2, 2, 255, 0, 0);
  TextureCache* cache = Director::getInstance()->getTextureCache();
  Texture2D* red = cache->addImage(path);
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->getCpuPixels()[0], 255);

  writeSolidPng(path, 2, 2, 0, 0, 255);
  EXPECT_EQ(cache->addImage(path), red);  // still cached
  cache->removeTextureForKey(path);
  EXPECT_EQ(cache->getTextureForKey(path), nullptr);
  Texture2D* blue = cache->addImage(path);
  ASSERT_NE(blue, nullptr);
  EXPECT_EQ(blue->getCpuPixels()[0], 0);
  EXPECT_EQ(blue->getCpuPixels()[2], 255);

  Texture2D* viaAsync = nullptr;
  cache->removeAllTextures();
  writeSolidPng(path, 2, 2, 0, 255, 0);
  cache->addImageAsync(path, [&](Texture2D* t) { viaAsync = t; });
  ASSERT_TRUE(stepUntil([&] { return viaAsync != nullptr; }));
  EXPECT_EQ(viaAsync->getCpuPixels()[1], 255);
}

TEST(Texture2DHeadless, InitWithDataKeepsPixelsAndPinnedFormats) {
  EXPECT_EQ(static_cast<int>(Texture2D::PixelFormat::RGB888), 3);
  EXPECT_EQ(static_cast<int>(Texture2D::PixelFormat::AI88), 7);
  const unsigned short ramp[4] = {0x0000, 0x00FF, 0x0100, 0xFFFF};
  auto* t = new Texture2D;
  ASSERT_TRUE(t->initWithData(ramp, sizeof ramp, Texture2D::PixelFormat::AI88, 4, 1, Size(4, 1)));
  EXPECT_EQ(t->getName(), 0u);
  ASSERT_EQ(t->getCpuPixels().size(), 8u);
  EXPECT_EQ(t->getCpuPixels()[2], 0xFF);  // low byte first
  EXPECT_FALSE(t->initWithData(ramp, 7, Texture2D::PixelFormat::AI88, 4, 1, Size(4, 1)));
  EXPECT_FALSE(t->initWithData(nullptr, 8, Texture2D::PixelFormat::AI88, 4, 1, Size(4, 1)));
  EXPECT_FALSE(t->initWithData(ramp, 8, Texture2D::PixelFormat::AI88, 0, 1, Size(0, 1)));
  t->release();
  EXPECT_EQ(GLProgram::createWithByteArrays("void main(){}", "void main(){}"), nullptr);
}
