// Camera passes, command order inside a pass, per-command scissor, and the
// headless renderer that collects and discards.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {
using Log = std::vector<std::string>;

// A node that submits one custom command per draw.
class CmdNode : public Node {
 public:
  static CmdNode* create(const std::string& name, Log* drawn, float globalZ = 0, bool is3D = false) {
    auto* n = new CmdNode;
    n->setName(name);
    n->_drawn = drawn;
    n->setGlobalZOrder(globalZ);
    n->_cmd.set3D(is3D);
    n->autorelease();
    return n;
  }
  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
    lastTransform = transform;
    if (_drawn) _drawn->push_back("draw " + getName());
    _cmd.init(_globalZOrder, transform, flags);
    const std::string name = getName();
    _cmd.func = [this, name] { executed.push_back(name); };
    if (renderer) renderer->addCommand(&_cmd);
  }
  Mat4 lastTransform;
  static Log executed;

 private:
  Log* _drawn = nullptr;
  CustomCommand _cmd;
};
Log CmdNode::executed;

// Runs custom commands and records the pass structure.
class RecordingBackend : public RendererBackend {
 public:
  explicit RecordingBackend(Log* log) : _log(log) {}
  void beginFrame(const Color4F& c) override { _log->push_back("frame clear " + std::to_string(c.r)); }
  void beginPass(Camera* camera, const Mat4&, const Mat4&) override {
    _log->push_back("pass " + std::to_string(camera->getCameraFlag()));
  }
  void begin3D() override { _log->push_back("3d"); }
  void begin2D() override { _log->push_back("2d"); }
  void execute(const QueuedRenderCommand& q) override {
    CmdNode::executed.clear();
    static_cast<CustomCommand*>(q.command)->execute();
    std::string s = CmdNode::executed.empty() ? "?" : CmdNode::executed.front();
    if (q.scissorEnabled)
      s += " scissor " + std::to_string(static_cast<int>(q.scissorRect.origin.x)) + "," +
           std::to_string(static_cast<int>(q.scissorRect.origin.y)) + " " +
           std::to_string(static_cast<int>(q.scissorRect.size.width)) + "x" +
           std::to_string(static_cast<int>(q.scissorRect.size.height));
    _log->push_back(s);
  }
  void endFrame() override { _log->push_back("end"); }

 private:
  Log* _log;
};

struct RendererFixture : public ::testing::Test {
  void SetUp() override {
    scene = Scene::create();
    engine.run(scene);
  }
  void record() { engine.director()->getRenderer()->setBackend(std::make_unique<RecordingBackend>(&log)); }
  Log log;
  HeadlessEngine engine;
  Scene* scene = nullptr;
};

Camera* windowCamera(Scene* scene, uint16_t flag, float x) {
  auto* cam = Camera::createOrthographic(800, 600, -1024, 1024);
  cam->setCameraFlag(flag);
  cam->setPosition(x, 0);
  scene->addChild(cam);
  return cam;
}

TEST_F(RendererFixture, OnePassPerCameraDefaultLastAndNodesDrawnUnderTheirFlags) {
  windowCamera(scene, 2, 100);
  windowCamera(scene, 3, 0);
  auto* ui = CmdNode::create("ui", nullptr);
  auto* win2 = CmdNode::create("win2", nullptr);
  win2->setCameraMask(2);
  win2->removeCameraMask(1);
  win2->setPosition(150, 10);
  auto* both = CmdNode::create("both", nullptr);
  both->setCameraMask(3);
  scene->addChild(ui);
  scene->addChild(win2);
  scene->addChild(both);
  record();
  engine.director()->setClearColor(Color4F(1, 0, 0, 1));
  engine.director()->stepFrame();
  EXPECT_EQ(log, (Log{"frame clear 1.000000", "pass 2", "2d", "win2", "pass 3", "2d", "both", "pass 1", "2d",
                      "ui", "both", "end"}));
  // The pass's view is folded into the transform given to draw.
  EXPECT_NEAR(win2->lastTransform.m[12], 50, 1e-4);
  EXPECT_NEAR(win2->lastTransform.m[13], 10, 1e-4);
  EXPECT_EQ(scene->getCameras().size(), 3u);
  EXPECT_EQ(scene->getCameras().front(), scene->getDefaultCamera());
}

TEST_F(RendererFixture, CamerasLeaveTheSceneWhenTheyExit) {
  auto* cam = windowCamera(scene, 2, 0);
  EXPECT_EQ(scene->getCameras().size(), 2u);
  cam->removeFromParent();
  EXPECT_EQ(scene->getCameras().size(), 1u);
  EXPECT_EQ(Camera::getDefaultCamera(), scene->getDefaultCamera());
}

TEST_F(RendererFixture, ThreeDFirstInSubmissionOrderThenTwoDStableByGlobalZ) {
  scene->addChild(CmdNode::create("2d z5", nullptr, 5));
  scene->addChild(CmdNode::create("3d first", nullptr, 9, true));
  scene->addChild(CmdNode::create("2d z-1", nullptr, -1));
  scene->addChild(CmdNode::create("2d z5 later", nullptr, 5));
  scene->addChild(CmdNode::create("3d second", nullptr, -9, true));
  scene->addChild(CmdNode::create("2d z0", nullptr, 0));
  record();
  engine.director()->stepFrame();
  EXPECT_EQ(log, (Log{"frame clear 0.000000", "pass 1", "3d", "3d first", "3d second", "2d", "2d z-1", "2d z0",
                      "2d z5", "2d z5 later", "end"}));
}

// Pushes a scissor rectangle around its children, like a clipping layout.
class ClipNode : public Node {
 public:
  static ClipNode* create(const Rect& r) {
    auto* n = new ClipNode;
    n->_rect = r;
    n->autorelease();
    return n;
  }
  void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override {
    renderer->pushScissor(_rect);
    Node::visit(renderer, parentTransform, parentFlags);
    renderer->popScissor();
  }

 private:
  Rect _rect;
};

TEST_F(RendererFixture, ScissorIsRecordedPerCommandAndNestsByIntersection) {
  auto* outer = ClipNode::create(Rect(0, 0, 100, 100));
  auto* inner = ClipNode::create(Rect(50, 50, 100, 100));
  scene->addChild(outer);
  outer->addChild(CmdNode::create("in outer", nullptr, 0, true));
  outer->addChild(inner);
  inner->addChild(CmdNode::create("in inner", nullptr));
  scene->addChild(CmdNode::create("free", nullptr));
  record();
  engine.director()->stepFrame();
  // The 3-D command runs first but keeps its own rectangle.
  EXPECT_EQ(log, (Log{"frame clear 0.000000", "pass 1", "3d", "in outer scissor 0,0 100x100", "2d",
                      "in inner scissor 50,50 50x50", "free", "end"}));
}

TEST_F(RendererFixture, HeadlessVisitsAndDrawsButNeverRunsCommands) {
  Log drawn;
  auto* parent = CmdNode::create("parent", &drawn);
  parent->removeCameraMask(1, false);  // not drawn by the default camera...
  parent->addChild(CmdNode::create("child", &drawn));  // ...its children still are
  auto* hidden = CmdNode::create("hidden", &drawn);
  hidden->setVisible(false);
  hidden->addChild(CmdNode::create("under hidden", &drawn));
  scene->addChild(parent);
  scene->addChild(hidden);
  CmdNode::executed.clear();
  engine.director()->stepFrame();
  EXPECT_EQ(drawn, (Log{"draw child"}));
  EXPECT_TRUE(CmdNode::executed.empty());
  Renderer* r = engine.director()->getRenderer();
  EXPECT_EQ(r->getSubmittedCommandCount(), 1u);
  EXPECT_TRUE(r->getQueue().empty());
  EXPECT_TRUE(r->checkVisibility(Mat4::IDENTITY, Size(1, 1)));
  r->addDrawnBatches(2);
  r->addDrawnVertices(6);
  EXPECT_EQ(r->getDrawnBatches(), 2);
  engine.director()->stepFrame();
  EXPECT_EQ(r->getDrawnVertices(), 0);
}

TEST_F(RendererFixture, StoppedAnimationSkipsTheVisit) {
  Log drawn;
  scene->addChild(CmdNode::create("n", &drawn));
  engine.director()->stopAnimation();
  engine.director()->stepFrame();
  EXPECT_TRUE(drawn.empty());
  engine.director()->startAnimation();
  engine.director()->stepFrame();
  EXPECT_EQ(drawn, (Log{"draw n"}));
}

TEST_F(RendererFixture, LayerColorSubmitsItsQuadAsSolidTriangles) {
  auto* layer = LayerColor::create(Color4B(255, 0, 0, 128), 40, 20);
  layer->setPosition(10, 5);
  scene->addChild(layer);
  EXPECT_EQ(layer->getContentSize(), Size(40, 20));
  int seen = 0;
  class Exec : public RendererBackend {
   public:
    explicit Exec(int* seen) : _seen(seen) {}
    void execute(const QueuedRenderCommand& q) override {
      ASSERT_EQ(q.command->getType(), RenderCommand::Type::TRIANGLES_COMMAND);
      auto* t = static_cast<TrianglesCommand*>(q.command);
      ++*_seen;
      EXPECT_TRUE(t->isSolid());
      EXPECT_EQ(t->getTextureID(), 0u);
      EXPECT_EQ(t->getBlendType(), BlendFunc::ALPHA_PREMULTIPLIED);
      ASSERT_EQ(t->getVertexCount(), 4);
      ASSERT_EQ(t->getIndexCount(), 6);
      // Two triangles over the content rectangle, moved by the model-view.
      Vec3 far = t->getVertices()[t->getIndices()[5]].vertices;
      t->getModelViewTransform().transformPoint(&far);
      EXPECT_EQ(far, Vec3(50, 25, 0));
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t->getVertices()[i].colors, Color4B(255, 0, 0, 128));
        EXPECT_LT(t->getVertices()[i].texCoords.u, 0.0f);
      }
    }
    int* _seen;
  };
  engine.director()->getRenderer()->setBackend(std::make_unique<Exec>(&seen));
  engine.director()->stepFrame();
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(layer->getQuadVertices()[3], Vec3(50, 25, 0));
  EXPECT_NEAR(layer->getQuadColor().r, 128 / 255.0f, 1e-4);
  EXPECT_NEAR(layer->getQuadColor().a, 128 / 255.0f, 1e-4);
  EXPECT_EQ(layer->getBlendFunc(), BlendFunc::ALPHA_PREMULTIPLIED);
}

TEST_F(RendererFixture, SceneAndLayerFillTheWindow) {
  EXPECT_EQ(engine.director()->getWinSize(), Size(800, 600));
  EXPECT_EQ(scene->getContentSize(), Size(800, 600));
  auto* layer = Layer::create();
  EXPECT_EQ(layer->getContentSize(), Size(800, 600));
  EXPECT_EQ(layer->convertToWorldSpace(Vec2(0, 0)), Vec2(0, 0));
  engine.view()->setDesignResolutionSize(1024, 768, ResolutionPolicy::SHOW_ALL);
  EXPECT_EQ(engine.view()->getDesignResolutionSize(), Size(800, 600));
}
}  // namespace
