// Volume ray casting: one RGB frame of a volume as seen through a camera, cast
// on the calling thread and worker threads (one less than the machine's
// cores), at an image scale that adapts so that a frame takes about the target
// time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/core/isEmptySpace.h"
#include "imaging/core/isRayCastKernels.h"
#include "imaging/core/isRayCastTypes.h"
#include "imaging/core/isTransferFunction.h"

namespace isImageSDK {

// Lowers the calling thread's scheduling priority (nice 10), once per
// thread: volume rendering runs in the background and yields the cores to
// the UI thread and the GL rasterizer whenever they have work.
void runAsBackgroundThread();

class isCamera;
class RayCastContext;

// The output image: three bytes per pixel, rows from the top, no gaps.
struct RayCastImage {
    int32_t stepLimit = -1;           // -1: no limit
    float stepLength = 1.f;           // world units
    std::vector<uint8_t> rgb;
    int32_t width = -1, height = -1;
    double pixelSizeX = 0, pixelSizeY = 0;   // world units per output pixel
    double scaleX = 1, scaleY = 1;           // output pixels per viewport pixel
    // Screen rectangle of the volume in output pixels, rows from the top.
    int32_t minX = 0, minRow = 0, maxX = -1, maxRow = -1;
};

// One worker of a frame. The jobs come in tiles of kJobsPerTile neighbouring
// rays; every worker of a frame takes the next tile from the shared counter
// until none is left, so a worker whose tiles are cheap takes more of them.
class CRayCastingThread {
public:
    const std::atomic<bool>* abortFlag = nullptr;
    RayJob* jobs = nullptr;
    int32_t jobCount = 0;
    std::atomic<int32_t>* nextTile = nullptr;
    int32_t renderMode = 0;
    const RayKernelEnv* env = nullptr;
    // Jobs this worker cast in its last run.
    mutable int32_t castCount = 0;

    void castJobs() const;
};

class RayCastContext {
public:
    RayCastContext();
    ~RayCastContext();
    RayCastContext(const RayCastContext&) = delete;
    RayCastContext& operator=(const RayCastContext&) = delete;

    // Takes a volume (kept by pointer, not owned). Signed 16-bit and float
    // volumes are read in place; 8-bit and unsigned 16-bit volumes are read
    // through a signed 16-bit copy. RGB volumes, and volumes without voxels or
    // with an empty dimension, are refused (false; no volume afterwards).
    // The same pointer a second time changes nothing.
    bool setVolume(const RayCastVolume* volume);
    const RayCastVolume* getVolume() const { return m_volume; }

    // Copies the view of a camera (its projection, zoom, eye, target and up)
    // into the context's own camera; toVolumeFrame maps eye, target and up
    // through the inverse volume matrix. Safe while a frame renders: the
    // frame keeps the view it started with.
    void setCamera(isCamera* camera, bool toVolumeFrame);
    // The context's own camera (the view the next frame uses).
    isCamera* getCamera() const { return m_camera; }

    // Rebuilds the tables the window, the colour map and the render mode need.
    void updateTransferFunction();

    // Renders one frame into the RGB image.
    void render();

    // ---- settings applied by the next frame ----
    // Window width and level in stored units, and the number of grey levels
    // the caller asks for. The transfer tables keep 256 entries whatever the
    // count; it is kept so that callers can read back what they set.
    void setWindow(float width, float level, int levels = 256);
    float getWindowWidth() const { return m_windowWidth; }
    float getWindowLevel() const { return m_windowLevel; }
    int getWindowLevels() const { return m_windowLevels; }
    // 768 bytes: R, G, B of entries 0..255. Entry 0 is the background.
    void setColorMap(const uint8_t* colorMap);
    // 0 composite, 1 pre-integrated, 2 pre-integrated and lit, 3 maximum
    // intensity projection.
    void setRenderMode(int mode);
    int getRenderMode() const { return m_renderMode; }
    // 1 trilinear, 0 nearest neighbour.
    void setInterpolation(int interpolation);
    // Shows another frame of a 4-D series: same layout, other voxels.
    void setVoxels(const void* voxels);
    void setImageScale(float scale) { m_imageScale = scale; }
    float getImageScale() const { return m_imageScale; }
    void setTargetFrameTime(float ms) { m_targetFrameTime = ms; }
    float getTargetFrameTime() const { return m_targetFrameTime; }
    // Skips the blocks the window renders transparent (on by default).
    void setEmptySpaceSkipping(bool on) { m_emptySpaceSkipping = on; }
    // Stops the frame in progress between rays; any thread.
    void abort() { m_abort.store(true, std::memory_order_relaxed); }
    bool isAborted() const { return m_abort.load(std::memory_order_relaxed); }

    // ---- the last frame ----
    const RayCastImage& getImage() const { return m_image; }
    const uint8_t* getImageBuffer() const { return m_image.rgb.empty() ? nullptr : m_image.rgb.data(); }
    int getImageWidth() const { return m_image.width; }
    int getImageHeight() const { return m_image.height; }
    const uint8_t* getBackground() const { return m_transfer.background; }
    int getLastJobCount() const { return m_lastJobCount; }
    int getLastWorkerCount() const { return m_lastWorkerCount; }
    int getLastElapsedMs() const { return m_lastElapsedMs; }

    cuLight& getLight() { return m_light; }
    const RayCastParams& getParams() const { return m_params; }
    const RayCastTransfer& getTransfer() const { return m_transfer; }
    vrSpaceLeapingBase* getGrid() const { return m_grid.get(); }

    // Workers of a frame: one below kJobsPerSplit jobs, otherwise the worker
    // limit (setWorkerLimit), or without a limit one less than the machine's
    // cores so that the UI thread keeps one (at least one).
    int workerCountFor(int jobCount) const;
    // 0 (the default) follows the machine; otherwise at most this many
    // workers, up to kMaxWorkerLimit.
    void setWorkerLimit(int workers);
    int getWorkerLimit() const { return m_workerLimit; }
    static int machineWorkerCount();
    // Jobs each worker of the last frame cast, render thread first.
    const std::vector<int>& getLastJobsPerWorker() const { return m_lastJobsPerWorker; }
    // The image scale after a frame that took elapsedMs (whole milliseconds).
    static float nextImageScale(float scale, int elapsedMs, float targetFrameTime);

    static constexpr int kMaxWorkerLimit = 64;
    static constexpr int kJobsPerSplit = 100;
    // Rays per tile: an 8 x 8 block of neighbouring pixels.
    static constexpr int kTileSize = 8;
    static constexpr int kJobsPerTile = kTileSize * kTileSize;

private:
    struct FrameView;
    class WorkerPool;

    bool prepareVoxels();
    void ensureGrid(int kind);
    void castRays(const FrameView& view);
    void runJobs(int jobCount);

    TransferTables m_tables;
    cuLight m_light;
    const RayCastVolume* m_volume = nullptr;
    RayCastVolume m_source;            // the caller's descriptor, voxels replaceable
    RayCastVolume m_working;           // what the kernels read (int16 or float)
    std::vector<int16_t> m_converted;  // signed 16-bit copy when needed
    const void* m_convertedFrom = nullptr;
    RayCastTransfer m_transfer;
    std::vector<float> m_lookup;
    float m_appliedWidth = 255.f, m_appliedLevel = 128.f;
    int m_renderMode = 0;
    RayCastParams m_params;
    std::vector<float> m_weights;
    std::unique_ptr<vrSpaceLeapingBase> m_grid;
    const void* m_gridVoxels = nullptr;
    isCamera* m_camera = nullptr;       // the view set by setCamera
    isCamera* m_frameCamera = nullptr;  // the view latched by the frame in progress
    std::mutex m_cameraMutex;
    RayCastImage m_image;
    float m_imageScale = 1.f;
    std::atomic<bool> m_abort{false};
    float m_targetFrameTime = 30.f;
    std::vector<uint8_t> m_colorMap;
    float m_windowWidth = 255.f, m_windowLevel = 128.f;
    int m_windowLevels = 256;
    bool m_tableBuilt = false;
    bool m_windowChanged = true;
    bool m_colorMapChanged = false;
    bool m_gridRebuild = false;
    bool m_emptySpaceSkipping = true;
    int m_lookupKind = -1;

    std::vector<RayJob> m_jobs;
    RayKernelEnv m_env;
    std::unique_ptr<WorkerPool> m_pool;
    int m_lastJobCount = 0;
    int m_lastWorkerCount = 0;
    int m_workerLimit = 0;
    std::vector<int> m_lastJobsPerWorker;
    int m_lastElapsedMs = 0;
};

}  // namespace isImageSDK
