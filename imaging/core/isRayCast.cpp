#include "imaging/core/isRayCast.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/core/isCamera.h"

using cocos2d::Mat4;
using cocos2d::Vec3;

namespace isImageSDK {

namespace {

// Contexts aiming at a frame time of a second or more render full quality.
constexpr float kFullQualityTargetMs = 1000.f;
// Narrowest window accepted, in stored units (float volumes may use small ones).
constexpr float kMinWindowWidth = 1e-3f;

void mapPoint(const float m[16], const Vec3& p, Vec3* out)
{
    out->set(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
             m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

void mapDirection(const float m[16], const Vec3& p, Vec3* out)
{
    out->set(m[0] * p.x + m[4] * p.y + m[8] * p.z, m[1] * p.x + m[5] * p.y + m[9] * p.z,
             m[2] * p.x + m[6] * p.y + m[10] * p.z);
}

// Copies projection, zoom and look-at frame of one camera into another;
// with a matrix, eye, target and up are mapped through it first.
void copyView(isCamera* dst, const isCamera* src, const float* matrix)
{
    dst->perspective = src->perspective;
    dst->setProjection(src->getFOV(), std::trunc(src->getWidth()), std::trunc(src->getHeight()),
                       src->getNearPlane(), src->getFarPlane(), src->getAdditionalProjection());
    dst->setZoom(src->getZoom());
    Vec3 eye = src->getPosition3D(), target = src->getTarget(), up = src->getUpVector();
    if (matrix) {
        mapPoint(matrix, eye, &eye);
        mapPoint(matrix, target, &target);
        mapDirection(matrix, up, &up);
    }
    dst->setPosition3D(eye);
    dst->lookAt(target, up);
}

RayValues makeRay(const double stepWorld[3], const double inverseSpacing[3], int stepLimit)
{
    RayValues r;
    double s[3], len2 = 0;
    for (int a = 0; a < 3; ++a) {
        s[a] = stepWorld[a] * inverseSpacing[a];
        len2 += s[a] * s[a];
    }
    double len = std::sqrt(len2);
    if (!(len > 0)) len = 1;
    r.stepLength = static_cast<float>(len);
    r.inverseStepLength = static_cast<float>(1.0 / len);
    r.stepCount = stepLimit < 0 ? 100000 : stepLimit;
    for (int a = 0; a < 3; ++a) {
        r.step[a] = static_cast<float>(s[a]);
        r.direction[a] = static_cast<float>(s[a] / len);
        r.span[a] = static_cast<float>(r.stepCount * s[a]);
        r.endOffset[a] = static_cast<float>(s[a] / len * 0.01 * 0.5 * inverseSpacing[a]);
    }
    r.endMargin = 0.01f;
    return r;
}

bool invertMatrix(const float in[16], float out[16])
{
    Mat4 m(in);
    if (!m.inverse()) return false;
    std::memcpy(out, m.m, sizeof(float) * 16);
    return true;
}

}  // namespace

// ---- workers ----

void CRayCastingThread::castJobs() const
{
    castCount = 0;
    for (;;) {
        const int32_t tile = nextTile->fetch_add(1, std::memory_order_relaxed);
        const int64_t first = int64_t(tile) * RayCastContext::kJobsPerTile;
        if (first >= jobCount) return;
        if (abortFlag && abortFlag->load(std::memory_order_relaxed)) return;
        const int32_t end = static_cast<int32_t>(std::min<int64_t>(jobCount, first + RayCastContext::kJobsPerTile));
        castJobRange(renderMode, jobs, static_cast<int32_t>(first), end, *env, abortFlag);
        castCount += end - static_cast<int32_t>(first);
    }
}

void runAsBackgroundThread()
{
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    const int now = getpriority(PRIO_PROCESS, tid);
    if (now < 10) setpriority(PRIO_PROCESS, tid, 10);
}

// Threads that live as long as the context and cast tiles of a frame when
// released; the render thread casts tiles itself as well. Grows to the
// largest worker count asked for.
class RayCastContext::WorkerPool {
public:
    ~WorkerPool()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_start.notify_all();
        for (auto& t : m_threads) t.join();
    }

    // Runs workers[0] here and workers[1..n-1] on the pool; returns when all
    // have finished.
    void run(const CRayCastingThread* workers, int n)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.assign(std::max<size_t>(m_tasks.size(), size_t(n)), nullptr);
            for (int i = 1; i < n; ++i) m_tasks[i] = &workers[i];
            for (size_t i = n; i < m_tasks.size(); ++i) m_tasks[i] = nullptr;
            while (static_cast<int>(m_threads.size()) < n - 1) {
                const int index = static_cast<int>(m_threads.size()) + 1;
                m_threads.emplace_back([this, index] { loop(index); });
            }
            m_pending = n - 1;
            ++m_generation;
        }
        if (n > 1) m_start.notify_all();
        workers[0].castJobs();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending == 0; });
    }

private:
    void loop(int index)
    {
        runAsBackgroundThread();
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_start.wait(lock, [&] { return m_stopping || m_generation != seen; });
            if (m_stopping) return;
            seen = m_generation;
            const CRayCastingThread* task = index < static_cast<int>(m_tasks.size()) ? m_tasks[index] : nullptr;
            if (!task) continue;
            lock.unlock();
            task->castJobs();
            lock.lock();
            if (--m_pending == 0) m_done.notify_one();
        }
    }

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_start, m_done;
    std::vector<const CRayCastingThread*> m_tasks;
    uint64_t m_generation = 0;
    int m_pending = 0;
    bool m_stopping = false;
};

// ---- context ----

RayCastContext::RayCastContext()
{
    m_colorMap.assign(768, 0);
    for (int i = 0; i < 256; ++i) m_colorMap[i * 3] = m_colorMap[i * 3 + 1] = m_colorMap[i * 3 + 2] = uint8_t(i);
    m_camera = isCamera::create();
    m_camera->retain();
    m_frameCamera = isCamera::create();
    m_frameCamera->retain();
    m_transfer.lowerBound = m_windowLevel - m_windowWidth * 0.5f;
    m_transfer.scale = 255.f / m_windowWidth;
    // Trilinear weights, 50 bins per axis, corner order x bit 0, y bit 1, z bit 2.
    m_weights.resize(125000 * 8);
    for (int k = 0; k < 50; ++k)
        for (int j = 0; j < 50; ++j)
            for (int i = 0; i < 50; ++i) {
                float fx = (i + 0.5f) / 50.f, fy = (j + 0.5f) / 50.f, fz = (k + 0.5f) / 50.f;
                float* w = &m_weights[(i + 50 * j + 2500 * k) * 8];
                w[0] = (1 - fz) * (1 - fy) * (1 - fx);
                w[1] = (1 - fz) * (1 - fy) * fx;
                w[2] = (1 - fz) * fy * (1 - fx);
                w[3] = (1 - fz) * fy * fx;
                w[4] = fz * (1 - fy) * (1 - fx);
                w[5] = fz * (1 - fy) * fx;
                w[6] = fz * fy * (1 - fx);
                w[7] = fz * fy * fx;
            }
    m_params.weights = m_weights.data();
    m_params.interpolation = 1;
    m_image.stepLimit = -1;
}

RayCastContext::~RayCastContext()
{
    m_pool.reset();
    m_camera->release();
    m_frameCamera->release();
}

bool RayCastContext::setVolume(const RayCastVolume* volume)
{
    if (volume == m_volume) return m_volume != nullptr;
    m_volume = nullptr;
    m_converted.clear();
    m_converted.shrink_to_fit();
    m_convertedFrom = nullptr;
    m_working = RayCastVolume();
    if (!volume) return false;
    const int t = volume->elementType;
    if (t != kRayCastUInt8 && t != kRayCastInt16 && t != kRayCastFloat32 && t != kRayCastUInt16) return false;
    if (!volume->voxels || volume->dimensions[0] < 1 || volume->dimensions[1] < 1 || volume->dimensions[2] < 1)
        return false;
    for (int a = 0; a < 3; ++a)
        if (!(volume->spacing[a] > 0.f) || !std::isfinite(volume->spacing[a])) return false;

    m_volume = volume;
    m_source = *volume;
    for (int a = 0; a < 3; ++a) m_transfer.dimensions[a] = static_cast<float>(volume->dimensions[a]);
    if (!invertMatrix(volume->matrix, m_transfer.inverseMatrix)) {
        static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(m_transfer.inverseMatrix, identity, sizeof(identity));
    }
    m_grid.reset();
    m_gridRebuild = false;
    m_image.stepLength = std::min({volume->spacing[0], volume->spacing[1], volume->spacing[2]});
    m_image.stepLimit = -1;
    m_tableBuilt = false;   // the lookup depends on the voxel type
    return true;
}

void RayCastContext::setVoxels(const void* voxels)
{
    if (!m_volume || !voxels) return;
    m_source.voxels = voxels;
    m_gridRebuild = true;
}

void RayCastContext::setCamera(isCamera* camera, bool toVolumeFrame)
{
    if (!camera || camera == m_camera) return;
    std::lock_guard<std::mutex> lock(m_cameraMutex);
    copyView(m_camera, camera, toVolumeFrame ? m_transfer.inverseMatrix : nullptr);
}

void RayCastContext::setWindow(float width, float level, int levels)
{
    m_windowWidth = width;
    m_windowLevel = level;
    m_windowLevels = levels;
    m_windowChanged = true;
    m_tableBuilt = false;
}

void RayCastContext::setColorMap(const uint8_t* colorMap)
{
    if (!colorMap) return;
    std::memcpy(m_colorMap.data(), colorMap, 768);
    m_colorMapChanged = true;
    m_tableBuilt = false;
}

void RayCastContext::setRenderMode(int mode)
{
    if (mode < 0 || mode > 3 || mode == m_renderMode) return;
    m_renderMode = mode;
    m_tableBuilt = false;
}

void RayCastContext::setInterpolation(int interpolation)
{
    m_params.interpolation = interpolation;
}

void RayCastContext::updateTransferFunction()
{
    if (m_tableBuilt) return;
    if (m_windowChanged) {
        m_appliedWidth = m_windowWidth;
        m_appliedLevel = m_windowLevel;
    }
    // A zero or negative width would divide by zero.
    const float width = m_appliedWidth > kMinWindowWidth ? m_appliedWidth : kMinWindowWidth;
    m_transfer.lowerBound = m_appliedLevel - width * 0.5f;
    m_transfer.scale = 255.f / width;
    if (m_colorMapChanged) {
        m_tables.loadColorMap(m_colorMap.data());
        std::memcpy(m_transfer.background, m_colorMap.data(), 3);
    }
    if (m_lookup.empty()) m_lookup.resize(65536 * 4);
    m_transfer.lookup = m_lookup.data();
    if (m_renderMode == 3) {
        m_tables.ensurePreintegrated();
        buildProjectionLookup(m_lookup.data(), m_tables.colorTable());
    } else if (m_renderMode == 0) {
        buildCompositeLookup(m_lookup.data(), m_tables.colorTable(), double(m_appliedLevel) - width * 0.5,
                             width);
        m_tables.ensurePreintegrated();
    } else {
        m_tables.ensurePreintegrated();
        buildPreintegratedLookup(m_lookup.data(), m_tables.preintegratedTable());
    }
    m_tableBuilt = true;
    m_windowChanged = false;
    m_colorMapChanged = false;
}

// Chooses what the kernels read: signed 16-bit voxels in place, float voxels
// in place for the maximum projection, or a signed 16-bit copy of any other
// voxel type. Keeps the grid matched to it.
bool RayCastContext::prepareVoxels()
{
    const RayCastVolume& src = m_source;
    const int64_t count = int64_t(src.dimensions[0]) * src.dimensions[1] * src.dimensions[2];
    m_working = src;
    if (src.elementType == kRayCastInt16 || (src.elementType == kRayCastFloat32 && m_renderMode == 3)) {
        m_working.voxels = src.voxels;
    } else {
        if (m_convertedFrom != src.voxels || int64_t(m_converted.size()) != count) {
            try {
                m_converted.resize(count);
            } catch (const std::bad_alloc&) {
                m_converted.clear();
                m_convertedFrom = nullptr;
                return false;
            }
            int16_t* out = m_converted.data();
            if (src.elementType == kRayCastUInt8) {
                const uint8_t* in = static_cast<const uint8_t*>(src.voxels);
                for (int64_t i = 0; i < count; ++i) out[i] = in[i];
            } else if (src.elementType == kRayCastUInt16) {
                const uint16_t* in = static_cast<const uint16_t*>(src.voxels);
                for (int64_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(std::min<uint16_t>(in[i], 32767));
            } else {
                const float* in = static_cast<const float*>(src.voxels);
                for (int64_t i = 0; i < count; ++i) {
                    float v = in[i];
                    v = std::isnan(v) ? 0.f : std::clamp(v, -32768.f, 32767.f);
                    out[i] = static_cast<int16_t>(std::lround(v));
                }
            }
            m_convertedFrom = src.voxels;
        }
        m_working.voxels = m_converted.data();
        m_working.elementType = kRayCastInt16;
    }

    const int kind = m_working.elementType == kRayCastFloat32 ? 2 : 1;
    ensureGrid(kind);

    RayCastParams& p = m_params;
    for (int a = 0; a < 3; ++a) {
        p.dimensions[a] = m_working.dimensions[a];
        p.spacing[a] = m_working.spacing[a];
        p.inverseSpacing[a] = 1.0 / m_working.spacing[a];
    }
    p.voxelCount = count;
    p.sliceSize = int64_t(p.dimensions[0]) * p.dimensions[1];
    p.voxels = m_working.voxels;
    p.elementType = m_working.elementType;
    if (m_lookupKind != kind) {
        m_lookupKind = kind;
        m_tableBuilt = false;
    }
    return true;
}

void RayCastContext::ensureGrid(int kind)
{
    // The grid keeps a pointer to m_working, whose voxels may have moved.
    const bool stale = !m_grid || m_grid->kind() != kind || m_gridRebuild;
    if (stale) {
        if (kind == 2)
            m_grid = std::make_unique<vrSpaceLeapingFloat>();
        else
            m_grid = std::make_unique<vrSpaceLeaping>();
        m_grid->attachVolume(&m_working);
        m_gridRebuild = false;
        m_gridVoxels = m_working.voxels;
    } else if (m_gridVoxels != m_working.voxels) {
        m_grid->attachVolume(&m_working);
        m_gridVoxels = m_working.voxels;
    }
}

int RayCastContext::machineWorkerCount()
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 1, kMaxWorkerLimit);
}

void RayCastContext::setWorkerLimit(int workers)
{
    m_workerLimit = std::clamp(workers, 0, kMaxWorkerLimit);
}

int RayCastContext::workerCountFor(int jobCount) const
{
    if (jobCount < kJobsPerSplit) return 1;
    const int limit = m_workerLimit > 0 ? m_workerLimit : machineWorkerCount();
    const int tiles = (jobCount + kJobsPerTile - 1) / kJobsPerTile;
    return std::clamp(std::min(limit, tiles), 1, kMaxWorkerLimit);
}

float RayCastContext::nextImageScale(float scale, int elapsedMs, float targetFrameTime)
{
    if (elapsedMs <= 0) {
        // The interactive view drops to a tenth; a full-quality frame that
        // fast can afford the full resolution next time.
        return targetFrameTime < kFullQualityTargetMs ? 0.1f : 1.f;
    }
    float s = scale * std::sqrt(targetFrameTime / static_cast<float>(elapsedMs));
    return std::clamp(s, 0.05f, 1.f);
}

struct RayCastContext::FrameView {
    int w = 0, h = 0;
};

void RayCastContext::render()
{
    if (!m_volume || !m_camera) return;
    m_abort.store(false, std::memory_order_relaxed);
    if (!prepareVoxels()) return;
    updateTransferFunction();

    // Threshold of the grid: the window's lower bound in stored units.
    if (m_grid->kind() == 2)
        static_cast<vrSpaceLeapingFloat*>(m_grid.get())->setThreshold(m_transfer.lowerBound);
    else
        m_grid->setThreshold(static_cast<int16_t>(std::clamp(m_transfer.lowerBound, -32768.f, 32767.f)));
    m_grid->buildMaxima();

    // The frame keeps the view it starts with.
    {
        std::lock_guard<std::mutex> lock(m_cameraMutex);
        copyView(m_frameCamera, m_camera, nullptr);
    }
    const isCamera* cam = m_frameCamera;
    FrameView view;
    view.w = static_cast<int>(cam->getWidth());
    view.h = static_cast<int>(cam->getHeight());
    // A viewport under 2 x 2 pixels gives no frame.
    if (view.w < 2 || view.h < 2) return;
    const int W = std::max(2, static_cast<int>(view.w * m_imageScale));
    const int H = std::max(2, static_cast<int>(view.h * m_imageScale));
    if (W != m_image.width || H != m_image.height) {
        m_image.rgb.assign(size_t(W) * H * 3, 0);
        m_image.width = W;
        m_image.height = H;
        m_image.scaleX = static_cast<float>(W) / static_cast<float>(view.w);
        m_image.scaleY = static_cast<float>(H) / static_cast<float>(view.h);
    }
    const double zoom = cam->getZoom();
    m_image.pixelSizeX = view.w * zoom / (W - 1);
    m_image.pixelSizeY = view.h * zoom / (H - 1);

    // Screen rectangle of the volume box, in output columns and rows from
    // the top; output column c sits at viewport x = c * w / (W - 1), row r at
    // viewport y = (H - 1 - r) * h / (H - 1).
    const float ext[3] = {(m_params.dimensions[0] - 1) * float(m_params.spacing[0]),
                          (m_params.dimensions[1] - 1) * float(m_params.spacing[1]),
                          (m_params.dimensions[2] - 1) * float(m_params.spacing[2])};
    double cmin = 1e30, cmax = -1e30, rmin = 1e30, rmax = -1e30;
    bool behind = false;
    for (int i = 0; i < 8; ++i) {
        Vec3 corner((i & 1) ? ext[0] : 0.f, (i & 2) ? ext[1] : 0.f, (i & 4) ? ext[2] : 0.f);
        Vec3 s;
        cam->worldToScreen(corner, &s);
        if (cam->perspective && !(s.z >= 0.f && s.z <= 1.f)) behind = true;
        double c = s.x * double(W - 1) / view.w;
        double r = (H - 1) - s.y * double(H - 1) / view.h;
        cmin = std::min(cmin, c), cmax = std::max(cmax, c);
        rmin = std::min(rmin, r), rmax = std::max(rmax, r);
    }
    if (behind) {
        cmin = rmin = 0;
        cmax = W - 1;
        rmax = H - 1;
    }
    auto toInt = [](double v, int lo, int hi) {
        if (!(v >= lo)) return lo;   // also NaN
        if (v > hi) return hi;
        return static_cast<int>(v);
    };
    m_image.minX = toInt(std::floor(cmin), 0, W - 1);
    m_image.maxX = toInt(std::ceil(cmax), 0, W - 1);
    m_image.minRow = toInt(std::floor(rmin), 0, H - 1);
    m_image.maxRow = toInt(std::ceil(rmax), 0, H - 1);
    if (!(cmax >= 0 && cmin <= W - 1 && rmax >= 0 && rmin <= H - 1)) m_image.maxX = m_image.maxRow = -1;

    // The light's viewer sits at the eye.
    Vec3 eye = cam->getPosition3D();
    m_light.eyePosition[0] = eye.x * float(m_params.inverseSpacing[0]);
    m_light.eyePosition[1] = eye.y * float(m_params.inverseSpacing[1]);
    m_light.eyePosition[2] = eye.z * float(m_params.inverseSpacing[2]);

    castRays(view);
}

void RayCastContext::castRays(const FrameView& view)
{
    const isCamera* cam = m_frameCamera;
    const int W = m_image.width, H = m_image.height;
    const double* isp = m_params.inverseSpacing;
    const uint8_t* bg = m_transfer.background;
    uint8_t* rgb = m_image.rgb.data();
    m_jobs.clear();

    const bool persp = cam->perspective;
    RayValues common;
    double topLeft[3] = {0, 0, 0}, colStep[3] = {0, 0, 0}, rowStep[3] = {0, 0, 0};
    if (!persp) {
        Vec3 right = cam->getRightVector(), up = cam->getFrameUpVector(), dir = cam->getViewDirection();
        Vec3 start;
        cam->screenToWorld(Vec3(0.f, static_cast<float>(view.h), 0.f), &start);
        const double r[3] = {right.x, right.y, right.z}, u[3] = {up.x, up.y, up.z};
        const double s[3] = {start.x, start.y, start.z};
        for (int a = 0; a < 3; ++a) {
            topLeft[a] = s[a] * isp[a];
            colStep[a] = r[a] * m_image.pixelSizeX * isp[a];
            rowStep[a] = -u[a] * m_image.pixelSizeY * isp[a];
        }
        const double stepWorld[3] = {m_image.stepLength * double(dir.x), m_image.stepLength * double(dir.y),
                                     m_image.stepLength * double(dir.z)};
        common = makeRay(stepWorld, isp, m_image.stepLimit);
    }

    // Jobs are made tile by tile (kTile x kTile pixels, tiles in rows from the
    // top): rays next to each other in both directions then run one after
    // the other and share the voxels they read.
    constexpr int kTile = kTileSize;
    for (int tileRow = 0; tileRow < H; tileRow += kTile)
    for (int tileCol = 0; tileCol < W; tileCol += kTile)
    for (int row = tileRow; row < std::min(H, tileRow + kTile); ++row) {
        const bool rowInside = row >= m_image.minRow && row <= m_image.maxRow;
        for (int col = tileCol; col < std::min(W, tileCol + kTile); ++col) {
            if (m_abort.load(std::memory_order_relaxed)) {
                m_jobs.clear();
                return;
            }
            uint8_t* px = rgb + (size_t(row) * W + col) * 3;
            if (!rowInside || col < m_image.minX || col > m_image.maxX) {
                px[0] = bg[0], px[1] = bg[1], px[2] = bg[2];
                continue;
            }
            RayJob& job = m_jobs.emplace_back();
            job.output = px;
            if (!persp) {
                for (int a = 0; a < 3; ++a)
                    job.position[a] = static_cast<float>(topLeft[a] + row * rowStep[a] + col * colStep[a]);
                job.ray = common;
            } else {
                const float x = static_cast<float>(col * double(view.w) / (W - 1));
                const float y = static_cast<float>((H - 1 - row) * double(view.h) / (H - 1));
                Vec3 p0, p1;
                cam->screenToWorld(Vec3(x, y, 0.f), &p0);
                cam->screenToWorld(Vec3(x, y, 1.f), &p1);
                Vec3 d = (p1 - p0).getNormalized();
                const double stepWorld[3] = {m_image.stepLength * double(d.x), m_image.stepLength * double(d.y),
                                             m_image.stepLength * double(d.z)};
                job.position[0] = static_cast<float>(p0.x * isp[0]);
                job.position[1] = static_cast<float>(p0.y * isp[1]);
                job.position[2] = static_cast<float>(p0.z * isp[2]);
                job.ray = makeRay(stepWorld, isp, m_image.stepLimit);
            }
        }
    }

    const auto t0 = std::chrono::steady_clock::now();
    runJobs(static_cast<int>(m_jobs.size()));
    m_jobs.clear();
    const auto t1 = std::chrono::steady_clock::now();
    m_lastElapsedMs = static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count() / 1000);
    if (!m_abort.load(std::memory_order_relaxed))
        m_imageScale = nextImageScale(m_imageScale, m_lastElapsedMs, m_targetFrameTime);
}

void RayCastContext::runJobs(int jobCount)
{
    m_env.params = &m_params;
    m_env.transfer = &m_transfer;
    m_env.light = &m_light;
    setKernelGrid(m_env, m_emptySpaceSkipping ? m_grid.get() : nullptr);

    const int n = workerCountFor(jobCount);
    m_lastJobCount = jobCount;
    m_lastWorkerCount = n;
    std::atomic<int32_t> nextTile{0};
    std::vector<CRayCastingThread> workers(n);
    for (CRayCastingThread& w : workers) {
        w.abortFlag = &m_abort;
        w.jobs = m_jobs.data();
        w.jobCount = jobCount;
        w.nextTile = &nextTile;
        w.renderMode = m_renderMode;
        w.env = &m_env;
    }
    if (n == 1) {
        workers[0].castJobs();
    } else {
        if (!m_pool) m_pool = std::make_unique<WorkerPool>();
        m_pool->run(workers.data(), n);
    }
    m_lastJobsPerWorker.resize(n);
    for (int i = 0; i < n; ++i) m_lastJobsPerWorker[i] = workers[i].castCount;
}

}  // namespace isImageSDK
