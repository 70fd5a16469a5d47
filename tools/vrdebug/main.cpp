// vrdebug: renders a generated CT phantom with the ray caster from the six
// axis directions (and one oblique perspective view) in every render mode and
// writes the frames as PNG files.
//
// Usage: vrdebug <output folder> [viewport pixels, default 256]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/base/AutoreleasePool.h"
#include "imaging/core/isCamera.h"
#include "imaging/core/isRayCast.h"
#include "tools/vrdebug/phantom.h"
#include "tools/vrdebug/pngwrite.h"

using cocos2d::Vec3;
using namespace isImageSDK;

namespace {

using vrdebug::writePng;

struct View {
    const char* name;
    Vec3 direction, up;
    bool perspective;
};

struct Mode {
    const char* name;
    int mode, interpolation;
    float width, level;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder> [viewport pixels]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const int size = argc > 2 ? std::max(16, std::atoi(argv[2])) : 256;
    cocos2d::AutoreleasePool pool;

    vrdebug::Phantom ph;
    vrdebug::makeCtPhantom(ph, 192, 192, 160, 1.f, 1.f, 1.2f);
    const Vec3 centre(95.5f, 95.5f, 159 * 1.2f * 0.5f);
    const auto map = vrdebug::warmColourMap();

    const View views[] = {
        {"front_+z", {0, 0, 1}, {0, -1, 0}, false},  {"back_-z", {0, 0, -1}, {0, -1, 0}, false},
        {"left_+x", {1, 0, 0}, {0, 0, 1}, false},    {"right_-x", {-1, 0, 0}, {0, 0, 1}, false},
        {"top_+y", {0, 1, 0}, {0, 0, 1}, false},     {"bottom_-y", {0, -1, 0}, {0, 0, 1}, false},
        {"oblique_persp", Vec3(1, 0.6f, 0.8f).getNormalized(), {0, 0, 1}, true},
    };
    const Mode modes[] = {
        {"composite_nearest", 0, 0, 1000, 700}, {"composite_trilinear", 0, 1, 1000, 700},
        {"preintegrated", 1, 1, 1000, 700},     {"lit", 2, 1, 1000, 700},
        {"mip", 3, 1, 2400, 700},
    };
    int failures = 0;
    for (const Mode& m : modes) {
        for (const View& v : views) {
            RayCastContext ctx;
            ctx.setVolume(&ph.volume);
            ctx.setRenderMode(m.mode);
            ctx.setInterpolation(m.interpolation);
            ctx.setWindow(m.width, m.level);
            ctx.setColorMap(map.data());
            ctx.getLight().lightPosition[0] = -200;
            ctx.getLight().lightPosition[1] = -300;
            ctx.getLight().lightPosition[2] = -100;
            isCamera* cam = isCamera::create();
            cam->perspective = v.perspective;
            cam->setProjection(40, float(size), float(size), 1, 2000);
            cam->setZoom(260.f / size);
            const float distance = v.perspective ? 420.f : 600.f;
            cam->setPosition3D(centre - v.direction * distance);
            cam->lookAt(centre, v.up);
            ctx.setCamera(cam, false);
            ctx.render();
            const std::string path = out + "/" + m.name + "_" + v.name + ".png";
            if (!writePng(path, ctx.getImageBuffer(), ctx.getImageWidth(), ctx.getImageHeight())) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                ++failures;
            } else {
                std::printf("%s  %dx%d  %d ms\n", path.c_str(), ctx.getImageWidth(), ctx.getImageHeight(),
                            ctx.getLastElapsedMs());
            }
        }
    }
    return failures ? 1 : 0;
}
