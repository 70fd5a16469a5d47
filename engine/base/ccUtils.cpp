#include "engine/base/ccUtils.h"

#include <algorithm>
#include <vector>

#include "engine/base/Director.h"
#include "engine/base/Scheduler.h"
#include "engine/base/ccLog.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/GLView.h"
#include "engine/platform/Image.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace utils {

void captureScreen(const std::function<void(bool, const std::string&)>& afterCaptured,
                   const std::string& filename, int x, int y, int width, int height) {
  Director* director = Director::getInstance();
  Scheduler* scheduler = director->getScheduler();
  auto report = [scheduler, afterCaptured, filename](bool ok) {
    if (!afterCaptured) return;
    scheduler->performFunctionInCocosThread([afterCaptured, filename, ok] { afterCaptured(ok, filename); });
  };
  Renderer* renderer = director->getRenderer();
  auto* gl = renderer ? dynamic_cast<RendererGL*>(renderer->getBackend()) : nullptr;
  GLView* view = director->getOpenGLView();
  if (!gl || !view || !GL::isContextReady() || filename.empty()) {
    report(false);
    return;
  }
  gl->runAfterNextFrame([=] {
    const int fw = static_cast<int>(view->getFrameSize().width);
    const int fh = static_cast<int>(view->getFrameSize().height);
    int x0 = x, y0 = y, x1 = x + width, y1 = y + height;
    if (x == 0 && y == 0 && width == 0 && height == 0) {
      x1 = fw;
      y1 = fh;
    }
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, fw);
    y1 = std::min(y1, fh);
    if (x1 <= x0 || y1 <= y0 || !GL::isContextReady()) {
      log("captureScreen: empty rectangle (%d,%d %dx%d)", x, y, width, height);
      report(false);
      return;
    }
    const int w = x1 - x0, h = y1 - y0;
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x0, y0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // GL rows run bottom-up; the file's run top-down.
    const size_t stride = static_cast<size_t>(w) * 3;
    std::vector<unsigned char> flipped(pixels.size());
    for (int row = 0; row < h; ++row)
      std::copy_n(&pixels[static_cast<size_t>(h - 1 - row) * stride], stride, &flipped[row * stride]);
    report(Image::writeJpeg(filename, flipped.data(), w, h, 90));
  });
}

}  // namespace utils

NS_CC_END
