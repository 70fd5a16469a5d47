// The widget gallery's window, frame loop and scripted-run plumbing.
#include <GL/glew.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine/renderer/RendererGL.h"
#include "gallery.h"

USING_NS_CC;

namespace gallery {

std::string g_outDir;
std::vector<std::string> g_results;

std::map<std::string, SceneEntry>& scenes()
{
    static std::map<std::string, SceneEntry> all;
    return all;
}

namespace {

SDL_Window* window() { return SDL_GL_GetCurrentWindow(); }

int windowHeight()
{
    int w = 0, h = 0;
    SDL_GetWindowSize(window(), &w, &h);
    return h;
}

} // namespace

void pushButton(Uint32 type, float x, float y, Uint8 button)
{
    SDL_Event e{};
    e.type = type;
    e.button.windowID = SDL_GetWindowID(window());
    e.button.button = button;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = static_cast<int>(x);
    e.button.y = windowHeight() - static_cast<int>(y);
    SDL_PushEvent(&e);
}

void pushMotion(float x, float y, bool leftHeld)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(window());
    e.motion.x = static_cast<int>(x);
    e.motion.y = windowHeight() - static_cast<int>(y);
    e.motion.state = leftHeld ? SDL_BUTTON_LMASK : 0;
    SDL_PushEvent(&e);
}

void pushWheel(float x, float y, int notches)
{
    SDL_WarpMouseInWindow(window(), static_cast<int>(x), windowHeight() - static_cast<int>(y));
    SDL_PumpEvents();
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SDL_GetWindowID(window());
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&e);
}

void saveFrame(const std::string& name)
{
    if (g_outDir.empty())
        return;
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    auto* gl = dynamic_cast<RendererGL*>(director->getRenderer()->getBackend());
    if (!gl)
        return;
    gl->runAfterNextFrame([view, name] {
        const int w = static_cast<int>(view->getFrameSize().width);
        const int h = static_cast<int>(view->getFrameSize().height);
        std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3), flipped(px.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, px.data());
        for (int r = 0; r < h; ++r)
            std::memcpy(&flipped[static_cast<size_t>(r) * w * 3], &px[static_cast<size_t>(h - 1 - r) * w * 3],
                        static_cast<size_t>(w) * 3);
        Image::writePng(g_outDir + "/" + name, flipped.data(), w, h, 3);
    });
}

void result(const std::string& line)
{
    g_results.push_back(line);
}

} // namespace gallery

namespace {

std::string g_scene = "lists";

class GalleryApp : public Application {
public:
    bool applicationDidFinishLaunching() override
    {
        auto it = gallery::scenes().find(g_scene);
        if (it == gallery::scenes().end())
            return false;
        auto* view = GLViewImpl::createWithRect("widgetgallery", Rect(0, 0, 1280, 800));
        if (!view)
            return false;
        Director* director = Director::getInstance();
        director->setOpenGLView(view);
        director->setClearColor(Color4F(0.93f, 0.94f, 0.95f, 1));
        if (!std::getenv(FileUtils::kResourceRootEnv))
            FileUtils::getInstance()->setDefaultResourceRootPath(FW_BUILD_RESOURCES);
        director->runWithScene(it->second.build());
        if (!gallery::g_outDir.empty()) {
            auto script = it->second.script;
            director->getScheduler()->schedule(
                [script](float) {
                    static int frame = 0;
                    if (!script(++frame)) {
                        std::ofstream out(gallery::g_outDir + "/results.txt");
                        for (const std::string& line : gallery::g_results)
                            out << line << "\n";
                        Director::getInstance()->end();
                    }
                },
                this, 0, false, "script");
        }
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--out") && i + 1 < argc)
            gallery::g_outDir = argv[++i];
        else if (!std::strcmp(argv[i], "--scene") && i + 1 < argc)
            g_scene = argv[++i];
    }
    GalleryApp app;
    return app.run();
}
