// A headless engine with a running scene for widget tests: a view of the
// given size, the build's resources as resource root, frames stepped by
// hand, input injected through the view.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/Image.h"

struct HeadlessStage {
    explicit HeadlessStage(cocos2d::Size window = cocos2d::Size(800, 600))
    {
        cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
        director()->setOpenGLView(cocos2d::GLViewImpl::createHeadless(window));
        scene = cocos2d::Scene::create();
        director()->runWithScene(scene);
        step();
    }
    ~HeadlessStage() { cocos2d::Director::destroyInstance(); }

    cocos2d::Director* director() const { return cocos2d::Director::getInstance(); }
    cocos2d::GLView* view() const { return director()->getOpenGLView(); }

    void step(int frames = 1, float dt = 1.0f / 60)
    {
        for (int i = 0; i < frames; ++i)
            director()->stepFrame(dt);
    }
    // Steps frames until pred holds, bounded by wall time.
    template <class Pred> bool stepUntil(Pred pred, float dt = 1.0f / 60)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            director()->stepFrame(dt);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    cocos2d::Scene* scene = nullptr;
};

// A fresh temporary folder, removed afterwards; path ends with '/'.
struct ScratchDir {
    ScratchDir()
    {
        char tmpl[] = "/tmp/fw_widgets_XXXXXX";
        const char* made = mkdtemp(tmpl);
        path = std::string(made ? made : "/tmp") + "/";
    }
    ~ScratchDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

// An opaque RGB picture of w x h.
inline void writePicture(const std::string& path, int w, int h)
{
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3, 128);
    cocos2d::Image img;
    ASSERT_TRUE(img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), w, h, 8));
    ASSERT_TRUE(img.saveToFile(path));
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}
