#!/usr/bin/python3
"""Reference timings for bench_raycast: VTK's CPU ray caster
(vtkFixedPointVolumeRayCastMapper) on the same CT phantom, the same 36-view
orthographic orbit, the same image size and the same number of threads.

Usage: raycast_vtk_peer.py THREADS CASE...
  CASE is MODE:TF:WIDTHxHEIGHT with MODE one of composite_nearest,
  composite_trilinear, mip and TF one of opaque, translucent, all_below.

Prints one line "case <CASE> <median ms> <p95 ms>" per case (wall time of one
render of the window, the way the C++ side times a frame). Runs offscreen; the
caller provides the X display (Xvfb). Exits quietly with a message when VTK or
numpy is missing.
"""
import math
import sys
import time

try:
    import numpy as np
    from vtkmodules.util.numpy_support import numpy_to_vtk
    from vtkmodules.vtkCommonCore import VTK_SHORT, vtkMultiThreader
    from vtkmodules.vtkCommonDataModel import vtkImageData, vtkPiecewiseFunction
    from vtkmodules.vtkRenderingCore import (vtkColorTransferFunction, vtkRenderer, vtkRenderWindow, vtkVolume,
                                             vtkVolumeProperty)
    from vtkmodules.vtkRenderingVolume import vtkFixedPointVolumeRayCastMapper
    import vtkmodules.vtkRenderingOpenGL2  # noqa: F401  (registers the render window)
    import vtkmodules.vtkRenderingVolumeOpenGL2  # noqa: F401  (registers the ray caster's image display)
except ImportError as e:  # pragma: no cover - depends on the machine
    print("VTK peer skipped: %s (install python3-vtk9 and python3-numpy)" % e)
    sys.exit(0)

# Same as bench_raycast.cpp and tools/vrdebug/phantom.h.
NX, NY, NZ = 512, 512, 500
SX, SY, SZ = 0.75, 0.75, 0.8
VIEWS = 36
WINDOWS = {"opaque": (2.0, -199.0), "translucent": (3000.0, 1500.0), "all_below": (100.0, 3000.0)}
SPHERES = [(0.30, 0.40, 0.50, 0.12, 1200), (0.68, 0.40, 0.35, 0.09, 300), (0.62, 0.66, 0.62, 0.10, -100),
           (0.36, 0.66, 0.30, 0.08, -800), (0.50, 0.28, 0.72, 0.05, 2000)]


def phantom():
    """The CT phantom of tools/vrdebug/phantom.h (body, then spheres, per row)."""
    vol = np.full((NZ, NY, NX), -1000, dtype=np.int16)
    fy = (np.arange(NY, dtype=np.float32) + 0.5) / NY
    by = (fy - 0.5) / 0.42
    inside = np.abs(by) < 1.0
    half_width = 0.46 * np.sqrt(np.clip(1.0 - by * by, 0, None))
    x0 = np.maximum(0, ((0.5 - half_width) * NX).astype(np.int64))
    x1 = np.minimum(NX, ((0.5 + half_width) * NX).astype(np.int64) + 1)
    xs = np.arange(NX)
    body = inside[:, None] & (xs[None, :] >= x0[:, None]) & (xs[None, :] < x1[:, None])
    for z in range(NZ):
        fz = (z + 0.5) / NZ
        if fz < 0.06 or fz > 0.94:
            continue
        sl = np.where(body, np.int16(40), np.int16(-1000))
        for cx, cy, cz, r, value in SPHERES:
            r2 = r * r - (fy - cy) ** 2 - (fz - cz) ** 2
            ok = inside & (r2 > 0)
            half = np.sqrt(np.clip(r2, 0, None))
            a = np.maximum(0, np.ceil((cx - half) * NX - 0.5)).astype(np.int64)
            b = np.minimum(NX - 1, np.floor((cx + half) * NX - 0.5)).astype(np.int64)
            m = ok[:, None] & (xs[None, :] >= a[:, None]) & (xs[None, :] <= b[:, None])
            sl = np.where(m, np.int16(value), sl)
        vol[z] = sl
    return vol


def warm_colour(t):
    """tools/vrdebug/phantom.h warmColourMap, as 0..1 RGB."""
    return (min(1.0, t * 2.2), min(1.0, max(0.0, (t - 0.25) * 1.6)), min(1.0, max(0.0, (t - 0.6) * 2.5)))


def main():
    if len(sys.argv) < 3:
        print("usage: raycast_vtk_peer.py THREADS CASE...")
        return
    threads = int(sys.argv[1])
    vtkMultiThreader.SetGlobalMaximumNumberOfThreads(threads)

    img = vtkImageData()
    img.SetDimensions(NX, NY, NZ)
    img.SetSpacing(SX, SY, SZ)
    img.SetOrigin(0, 0, 0)
    arr = numpy_to_vtk(phantom().ravel(), deep=False, array_type=VTK_SHORT)
    img.GetPointData().SetScalars(arr)

    centre = ((NX - 1) * SX * 0.5, (NY - 1) * SY * 0.5, (NZ - 1) * SZ * 0.5)
    diagonal = 2.0 * math.sqrt(sum(c * c for c in centre))

    # One offscreen window for every case, resized per case.
    ren = vtkRenderer()
    ren.SetBackground(0, 0, 0)
    win = vtkRenderWindow()
    win.SetOffScreenRendering(1)
    win.AddRenderer(ren)
    for case in sys.argv[2:]:
        mode, tf, size = case.split(":")
        w, h = (int(v) for v in size.split("x"))
        width, level = WINDOWS[tf]
        lower = level - width * 0.5

        mapper = vtkFixedPointVolumeRayCastMapper()
        mapper.SetNumberOfThreads(threads)
        mapper.SetInputData(img)
        mapper.SetAutoAdjustSampleDistances(False)
        mapper.SetImageSampleDistance(1.0)
        mapper.SetSampleDistance(min(SX, SY, SZ))
        if mode == "mip":
            mapper.SetBlendModeToMaximumIntensity()
        else:
            mapper.SetBlendModeToComposite()

        colour = vtkColorTransferFunction()
        opacity = vtkPiecewiseFunction()
        for i in range(0, 256, 15):
            t = i / 255.0
            colour.AddRGBPoint(lower + t * width, *warm_colour(t))
        opacity.AddPoint(lower, 0.0)
        opacity.AddPoint(lower + width, 1.0)
        prop = vtkVolumeProperty()
        prop.SetColor(colour)
        prop.SetScalarOpacity(opacity)
        prop.ShadeOff()
        if mode == "composite_nearest":
            prop.SetInterpolationTypeToNearest()
        else:
            prop.SetInterpolationTypeToLinear()

        volume = vtkVolume()
        volume.SetMapper(mapper)
        volume.SetProperty(prop)
        ren.RemoveAllViewProps()
        ren.AddVolume(volume)
        win.SetSize(w, h)

        cam = ren.GetActiveCamera()
        cam.ParallelProjectionOn()
        cam.SetParallelScale(1.02 * diagonal / min(w, h) * h * 0.5)
        cam.SetClippingRange(1, 4000)

        def aim(view):
            a = 2.0 * math.pi * view / VIEWS
            tilt = math.radians(20.0)
            d = (math.cos(a) * math.cos(tilt), math.sin(a) * math.cos(tilt), math.sin(tilt))
            cam.SetFocalPoint(*centre)
            cam.SetPosition(*(centre[i] - d[i] * 1500.0 for i in range(3)))
            cam.SetViewUp(0, 0, 1)
            cam.SetClippingRange(1, 4000)

        aim(0)
        win.Render()   # builds the mapper's tables
        ms = []
        for view in range(VIEWS):
            aim(view)
            t0 = time.perf_counter()
            win.Render()
            ms.append((time.perf_counter() - t0) * 1e3)
        ms.sort()
        p95 = ms[min(len(ms) - 1, math.ceil(len(ms) * 0.95) - 1)]
        print("case %s %.3f %.3f" % (case, ms[len(ms) // 2], p95), flush=True)
    win.Finalize()


if __name__ == "__main__":
    main()
