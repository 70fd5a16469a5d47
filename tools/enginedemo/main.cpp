// Engine demo and screenshot fixture. Layout (window 960x600, design units
// = pixels, origin bottom-left); the screenshot tests probe these places:
//   red sprite            64x64 centred (100, 500)
//   blend                 opaque blue 64x64 at (250, 500) under a green
//                         sprite with straight alpha 128 (premultiplied)
//   half-opaque red       64x64 at (400, 500), opacity 128
//   DrawNode              white solid rect (480,460)-(540,540); green 1-px
//                         line y=420 x 480..700; yellow 4-px line x=650
//                         y 440..560; magenta outline (560,460)-(620,540)
//   stippled line         cyan, y=380, x 480..700, factor 2, 0x5555
//   AI88 ramp             256x20 at x 40..296, y 330..350: grey = column
//   window A              (50,50)-(350,300), camera flag 2, orange fill over
//                         the whole screen clipped to the window, a green
//                         40x40 square at (200,175) shifted +48 px in x by
//                         the camera's additional projection; a white
//                         "label" sprite 80x20 at (120,280) by the default
//                         camera over it
//   window B              (400,50)-(700,300), camera flag 3, 3-D commands:
//                         a yellow quad at depth 0.001 (centre 100x100),
//                         then a grey background at depth 0.999
//   colour layer          blue (0,0,255) at alpha 128, 60x60 from (760,250)
//   marker                white 10x10 square; follows mouse clicks
//
// With --scene panel the window shows instead the interface panel of
// tools/enginedemo/panel.csb (pictures from the build's resource tree; the
// places are in that file). Scripted (--out), it saves panel_initial.png,
// then pushes SDL events into the window's queue: the left button held on
// "pictureButton" (panel_pressed.png), released, the slider's ball dragged
// from 25 % to 75 %, a click on "check" (panel_after.png); the widgets'
// events go to events.txt, one per line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <SDL2/SDL.h>

#include "engine/2d/Camera.h"
#include "engine/2d/DrawNode.h"
#include "engine/2d/Layer.h"
#include "engine/2d/Scene.h"
#include "engine/2d/Sprite.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/EventListener.h"
#include "engine/base/ccUtils.h"
#include "engine/cocos2d.h"
#include "engine/base/Configuration.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/Image.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Texture2D.h"
#include "engine/renderer/ccGLStateCache.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/renderer/CustomCommand.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"

USING_NS_CC;

namespace {

std::string g_outDir;
int g_frames = 0;
std::string g_assets;
std::string g_scene = "engine";
std::vector<std::string> g_events;

std::string solidPng(const std::string& name, int w, int h, Color4B c) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    px[i] = c.r;
    px[i + 1] = c.g;
    px[i + 2] = c.b;
    px[i + 3] = c.a;
  }
  Image img;
  img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), w, h, 8);
  const std::string path = g_assets + name;
  img.saveToFile(path, false);
  return path;
}

const char* kNdcVert = R"(
attribute vec4 a_position;
attribute vec4 a_color;
varying vec4 v_color;
void main() {
  gl_Position = a_position;
  v_color = a_color;
}
)";
const char* kNdcFrag = R"(
varying vec4 v_color;
void main() { gl_FragColor = v_color; }
)";

const char* kRampVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;
varying vec2 v_texCoord;
void main() {
  gl_Position = CC_PMatrix * a_position;
  v_texCoord = a_texCoord;
}
)";
// 16-bit value from a luminance-alpha texel: low byte in .r, high in .a.
const char* kRampFrag = R"(
varying vec2 v_texCoord;
void main() {
  vec4 t = texture2D(CC_Texture0, v_texCoord);
  float v = (t.r * 255.0 + t.a * 255.0 * 256.0) / 65535.0;
  gl_FragColor = vec4(v, v, v, 1.0);
}
)";

// Draws NDC quads with explicit depth, as 3-D commands.
class DepthQuads : public Node {
 public:
  static DepthQuads* create() {
    auto* n = new DepthQuads;
    n->init();
    n->autorelease();
    return n;
  }
  // Window rectangles in pixels and NDC depth per quad, in submission order.
  struct Quad {
    Rect rect;
    float depth;  // window depth 0..1
    Color4B color;
  };
  std::vector<Quad> quads;

  ~DepthQuads() override { CC_SAFE_RELEASE(_program); }

  void draw(Renderer* renderer, const Mat4&, uint32_t) override {
    _commands.resize(quads.size());
    for (size_t i = 0; i < quads.size(); ++i) {
      _commands[i].init(_globalZOrder);
      _commands[i].set3D(true);
      Quad q = quads[i];
      _commands[i].func = [this, q] { drawQuad(q); };
      renderer->addCommand(&_commands[i]);
    }
  }

 private:
  void drawQuad(const Quad& q) {
    if (!_program) {
      _program = GLProgram::createWithByteArrays(kNdcVert, kNdcFrag);
      if (!_program) return;
      _program->retain();
    }
    const Size win = Director::getInstance()->getWinSize();
    auto nx = [&](float x) { return x / win.width * 2 - 1; };
    auto ny = [&](float y) { return y / win.height * 2 - 1; };
    const float z = q.depth * 2 - 1;
    const float x0 = nx(q.rect.getMinX()), x1 = nx(q.rect.getMaxX());
    const float y0 = ny(q.rect.getMinY()), y1 = ny(q.rect.getMaxY());
    const float pos[] = {x0, y0, z, x1, y0, z, x1, y1, z, x0, y0, z, x1, y1, z, x0, y1, z};
    std::vector<Color4B> col(6, q.color);
    _program->use();
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, pos);
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, col.data());
    GL::enableVertexAttribs(VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR);
    glDrawArrays(GL_TRIANGLES, 0, 6);
  }
  std::vector<CustomCommand> _commands;
  GLProgram* _program = nullptr;
};

// A stippled line through raw GL, as the measurement overlays do.
class StippleLine : public Node {
 public:
  static StippleLine* create() {
    auto* n = new StippleLine;
    n->init();
    n->autorelease();
    return n;
  }
  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
    _cmd.init(_globalZOrder, transform, flags);
    _cmd.func = [transform] {
      GLProgram* p = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR);
      if (!p) return;
      p->use();
      p->setUniformsForBuiltins(transform);
      const float pos[] = {480, 380.5f, 0, 700, 380.5f, 0};
      const Color4B col[] = {Color4B(0, 255, 255, 255), Color4B(0, 255, 255, 255)};
      glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, pos);
      glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, col);
      GL::enableVertexAttribs(VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR);
      glEnable(GL_LINE_STIPPLE);
      glLineStipple(2, 0x5555);
      glDrawArrays(GL_LINES, 0, 2);
    };
    renderer->addCommand(&_cmd);
  }

 private:
  CustomCommand _cmd;
};

// A node whose own drawing is clipped and whose children are seen by one
// window camera only.
class ClippedWindow : public Node, public ClippingProtocol {
 public:
  static ClippedWindow* create(const Rect& rect) {
    auto* n = new ClippedWindow;
    n->init();
    n->setClippingRect(rect);
    n->autorelease();
    return n;
  }
  void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override {
    beginScissor(renderer);
    Node::visit(renderer, parentTransform, parentFlags);
    endScissor(renderer);
  }
};

Scene* buildScene() {
  auto* scene = Scene::create();
  const Size win = Director::getInstance()->getWinSize();

  auto place = [&](Sprite* s, float x, float y) {
    s->setPosition(x, y);
    scene->addChild(s);
    return s;
  };
  place(Sprite::create(solidPng("red.png", 64, 64, Color4B(255, 0, 0, 255))), 100, 500);
  place(Sprite::create(solidPng("blue.png", 64, 64, Color4B(0, 0, 255, 255))), 250, 500);
  place(Sprite::create(solidPng("green50.png", 64, 64, Color4B(0, 255, 0, 128))), 250, 500);
  place(Sprite::create(g_assets + "red.png"), 400, 500)->setOpacity(128);

  auto* draw = DrawNode::create();
  draw->drawSolidRect(Vec2(480, 460), Vec2(540, 540), Color4F(1, 1, 1, 1));
  draw->drawLine(Vec2(480, 420.5f), Vec2(700, 420.5f), Color4F(0, 1, 0, 1));
  draw->drawRect(Vec2(560.5f, 460.5f), Vec2(620.5f, 540.5f), Color4F(1, 0, 1, 1));
  draw->setLineWidth(4);
  draw->drawLine(Vec2(650, 440), Vec2(650, 560), Color4F(1, 1, 0, 1));
  scene->addChild(draw);
  scene->addChild(StippleLine::create());

  // AI88 ramp: value(x) = x * 257, so both bytes equal the column.
  std::vector<unsigned short> ramp(256);
  for (int x = 0; x < 256; ++x) ramp[x] = static_cast<unsigned short>(x * 257);
  auto* rampTex = new Texture2D;
  rampTex->initWithData(ramp.data(), 512, Texture2D::PixelFormat::AI88, 256, 1, Size(256, 1));
  rampTex->setAliasTexParameters();
  auto* rampSprite = Sprite::createWithTexture(rampTex);
  rampTex->release();
  rampSprite->setAnchorPoint(Vec2::ZERO);
  rampSprite->setPosition(40, 330);
  rampSprite->setScaleY(20);
  if (GLProgram* p = GLProgram::createWithByteArrays(kRampVert, kRampFrag))
    rampSprite->setGLProgramState(GLProgramState::create(p));
  scene->addChild(rampSprite);

  // Window A: camera flag 2, content clipped to the window.
  const Rect rectA(50, 50, 300, 250);
  auto* camA = Camera::createOrthographic(win.width, win.height, -1024, 1024);
  camA->setCameraFlag(2);
  Mat4 shift;  // +48 px in x at 960 px wide = +0.1 NDC
  Mat4::createTranslation(Vec3(96.0f / win.width, 0, 0), &shift);
  camA->setAdditionalProjection(shift);
  scene->addChild(camA);
  auto* winA = ClippedWindow::create(rectA);
  auto* fillA = DrawNode::create();
  fillA->drawSolidRect(Vec2(0, 0), Vec2(win.width, win.height), Color4F(1, 0.5f, 0, 1));
  fillA->drawSolidRect(Vec2(180, 155), Vec2(220, 195), Color4F(0, 1, 0, 1));
  winA->addChild(fillA);
  winA->setCameraMask(2);
  winA->removeCameraMask(1);
  scene->addChild(winA);

  // Window B: camera flag 3, 3-D commands with depth.
  const Rect rectB(400, 50, 300, 250);
  auto* camB = Camera::createOrthographic(win.width, win.height, -1024, 1024);
  camB->setCameraFlag(3);
  scene->addChild(camB);
  auto* winB = ClippedWindow::create(rectB);
  auto* quads = DepthQuads::create();
  quads->quads.push_back({Rect(500, 125, 100, 100), 0.001f, Color4B(255, 255, 0, 255)});
  quads->quads.push_back({rectB, 0.999f, Color4B(128, 128, 128, 255)});
  winB->addChild(quads);
  winB->setCameraMask(3);
  winB->removeCameraMask(1);
  scene->addChild(winB);

  auto* layer = LayerColor::create(Color4B(0, 0, 255, 128), 60, 60);
  layer->setPosition(760, 250);
  scene->addChild(layer);

  // 2-D "label" of the default camera over window A.
  auto* label = Sprite::create(solidPng("label.png", 80, 20, Color4B(255, 255, 255, 255)));
  label->setPosition(120, 280);
  scene->addChild(label);

  auto* marker = Sprite::create(solidPng("marker.png", 10, 10, Color4B(255, 255, 255, 255)));
  marker->setPosition(900, 40);
  scene->addChild(marker, 10);

  auto* mouse = EventListenerMouse::create();
  mouse->onMouseDown = [marker](EventMouse* e) { marker->setPosition(e->getLocationInView()); };
  scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(mouse, scene);
  auto* keys = EventListenerKeyboard::create();
  keys->onKeyPressed = [](EventKeyboard::KeyCode code, Event*) {
    static bool dark = true;
    if (code == EventKeyboard::KeyCode::KEY_SPACE) {
      dark = !dark;
      Director::getInstance()->setClearColor(dark ? Color4F(0.1f, 0.1f, 0.1f, 1) : Color4F(0.3f, 0.3f, 0.5f, 1));
    }
  };
  scene->getEventDispatcher()->addEventListenerWithSceneGraphPriority(keys, scene);
  return scene;
}

void writeOutputs() {
  Director* director = Director::getInstance();
  GLView* view = director->getOpenGLView();
  {
    std::ofstream info(g_outDir + "/info.txt");
    info << "frame " << view->getFrameSize().width << " " << view->getFrameSize().height << "\n";
    info << "design " << view->getDesignResolutionSize().width << " " << view->getDesignResolutionSize().height << "\n";
    info << "visible " << view->getVisibleSize().width << " " << view->getVisibleSize().height << "\n";
    info << "win " << director->getWinSize().width << " " << director->getWinSize().height << "\n";
    info << "maxtexture " << Configuration::getInstance()->getMaxTextureSize() << "\n";
    info << "vao " << Configuration::getInstance()->supportsShareableVAO() << "\n";
  }
  // The frame as PNG (same frame as the captures below).
  auto* gl = dynamic_cast<RendererGL*>(director->getRenderer()->getBackend());
  gl->runAfterNextFrame([view] {
    const int w = static_cast<int>(view->getFrameSize().width), h = static_cast<int>(view->getFrameSize().height);
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3), flipped(px.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    for (int r = 0; r < h; ++r) std::memcpy(&flipped[r * w * 3], &px[(h - 1 - r) * w * 3], w * 3);
    Image::writePng(g_outDir + "/frame.png", flipped.data(), w, h, 3);
  });
  static int pending = 2;
  auto done = [](bool ok, const std::string& file) {
    std::printf("capture %s %s\n", ok ? "ok" : "failed", file.c_str());
    if (--pending == 0) Director::getInstance()->end();
  };
  utils::captureScreen(done, g_outDir + "/capture.jpg");
  utils::captureScreen(done, g_outDir + "/rect.jpg", 76, 476, 48, 48);
}

// Saves the next rendered frame (before the swap) as a PNG in g_outDir.
void saveFrame(const std::string& name) {
  Director* director = Director::getInstance();
  GLView* view = director->getOpenGLView();
  auto* gl = dynamic_cast<RendererGL*>(director->getRenderer()->getBackend());
  gl->runAfterNextFrame([view, name] {
    const int w = static_cast<int>(view->getFrameSize().width), h = static_cast<int>(view->getFrameSize().height);
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3), flipped(px.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    for (int r = 0; r < h; ++r) std::memcpy(&flipped[r * w * 3], &px[(h - 1 - r) * w * 3], w * 3);
    Image::writePng(g_outDir + "/" + name, flipped.data(), w, h, 3);
  });
}

Scene* buildPanelScene() {
  auto* scene = Scene::create();
  Node* panel = CSLoader::createNode(FW_DEMO_PANEL);
  if (!panel) return scene;
  scene->addChild(panel);
  if (auto* small = dynamic_cast<ui::Text*>(panel->getChildByNameDeep("small")))
    small->enableShadow(Color4B(0, 0, 0, 255), Size(2, -2));
  if (auto* b = dynamic_cast<ui::Button*>(panel->getChildByNameDeep("pictureButton")))
    b->addClickEventListener([](Ref*) { g_events.push_back("click pictureButton"); });
  if (auto* s = dynamic_cast<ui::Slider*>(panel->getChildByNameDeep("slider")))
    s->addEventListener([](Ref* r, ui::Slider::EventType t) {
      g_events.push_back("slider " + std::to_string(static_cast<int>(t)) + " " +
                         std::to_string(static_cast<ui::Slider*>(r)->getPercent()));
    });
  if (auto* c = dynamic_cast<ui::CheckBox*>(panel->getChildByNameDeep("check")))
    c->addEventListener([](Ref*, ui::CheckBox::EventType t) {
      g_events.push_back(t == ui::CheckBox::EventType::SELECTED ? "check selected" : "check unselected");
    });
  return scene;
}

// Pushes a left-button event at design point (x, y) into the window's queue.
void pushMouse(Uint32 type, int x, int y) {
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  SDL_Event e{};
  e.type = type;
  if (type == SDL_MOUSEMOTION) {
    e.motion.windowID = SDL_GetWindowID(window);
    e.motion.x = x;
    e.motion.y = h - y;
    e.motion.state = SDL_BUTTON_LMASK;
  } else {
    e.button.windowID = SDL_GetWindowID(window);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = h - y;
  }
  SDL_PushEvent(&e);
}

// The panel script, one step per frame.
void panelScript(int frame) {
  switch (frame) {
    case 3: saveFrame("panel_initial.png"); break;
    case 4: pushMouse(SDL_MOUSEBUTTONDOWN, 60, 420); break;  // on pictureButton, held
    case 6: saveFrame("panel_pressed.png"); break;
    case 7:
      pushMouse(SDL_MOUSEBUTTONUP, 60, 420);
      pushMouse(SDL_MOUSEBUTTONDOWN, 100, 320);  // the slider's ball at 25 %
      break;
    case 8:
      pushMouse(SDL_MOUSEMOTION, 200, 322);  // 75 %
      break;
    case 9:
      pushMouse(SDL_MOUSEBUTTONUP, 200, 322);
      pushMouse(SDL_MOUSEBUTTONDOWN, 340, 320);  // the check box
      pushMouse(SDL_MOUSEBUTTONUP, 340, 320);
      break;
    case 11: saveFrame("panel_after.png"); break;
    case 13: {
      std::ofstream out(g_outDir + "/events.txt");
      for (const std::string& e : g_events) out << e << "\n";
      Director::getInstance()->end();
      break;
    }
    default: break;
  }
}

class DemoApp : public Application {
 public:
  bool applicationDidFinishLaunching() override {
    auto* view = GLViewImpl::createWithRect("enginedemo", Rect(0, 0, 960, 600));
    if (!view) return false;
    Director* director = Director::getInstance();
    director->setOpenGLView(view);
    director->setClearColor(Color4F(0.1f, 0.1f, 0.1f, 1));
    if (g_scene == "panel") {
      // Pictures and fonts from the build's resource tree.
      if (!std::getenv(FileUtils::kResourceRootEnv)) FileUtils::getInstance()->setDefaultResourceRootPath(FW_BUILD_RESOURCES);
      director->runWithScene(buildPanelScene());
      if (!g_outDir.empty())
        director->getScheduler()->schedule(
            [](float) {
              static int frame = 0;
              panelScript(++frame);
            },
            this, 0, false, "script");
      return true;
    }
    director->runWithScene(buildScene());
    if (!g_outDir.empty()) {
      // Scripted: a click at (800, 500) moves the marker, then capture.
      director->getScheduler()->schedule(
          [this](float) {
            static int frame = 0;
            ++frame;
            GLView* v = Director::getInstance()->getOpenGLView();
            if (frame == 2) {
              v->injectMouseDown(800, 500, 0);
              v->injectMouseUp(800, 500, 0);
            }
            if (frame == g_frames) writeOutputs();
          },
          this, 0, false, "script");
    }
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--out") && i + 1 < argc) g_outDir = argv[++i];
    else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) g_frames = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--scene") && i + 1 < argc) g_scene = argv[++i];
  }
  if (!g_outDir.empty() && g_frames < 3) g_frames = 3;
  char tmpl[] = "/tmp/enginedemo_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  g_assets = std::string(tmpl) + "/";
  DemoApp app;
  const int rc = app.run();
  std::string cmd = g_assets;
  for (const char* n : {"red.png", "blue.png", "green50.png", "label.png", "marker.png"}) std::remove((g_assets + n).c_str());
  rmdir(tmpl);
  return rc;
}
