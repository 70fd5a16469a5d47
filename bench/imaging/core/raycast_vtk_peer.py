#!/usr/bin/python3
"""VTK's CPU ray caster (vtkFixedPointVolumeRayCastMapper) as the peer of
bench_raycast, driven frame by frame so that its frames interleave with ours.

Reads commands on stdin, one per line, and answers each with one line:
  volume PATH NX NY NZ SX SY SZ  signed 16-bit voxels, x fastest  -> "ok"
  setup MODE TF W H THREADS      MODE composite_nearest, composite_trilinear
                                 or mip; TF opaque, translucent or all_below
                                 -> "ok"
  frame VIEW                     aims at orbit view VIEW and renders
                                 -> "ms <wall time of the render>"
  grab VIEW PATH                 renders VIEW and writes the image as raw RGB,
                                 rows from the top -> "ok"
  quit
The timed part is win.Render(): VTK's pipeline update (nothing to do after the
first frame), the cast and the image display, as the C++ side times render().
Prints "skip <reason>" and exits when VTK or numpy is missing. The caller
provides the X display (Xvfb).
"""
import math
import sys
import time

try:
    import numpy as np
    from vtkmodules.util.numpy_support import numpy_to_vtk, vtk_to_numpy
    from vtkmodules.vtkCommonCore import VTK_SHORT, vtkMultiThreader
    from vtkmodules.vtkCommonDataModel import vtkImageData, vtkPiecewiseFunction
    from vtkmodules.vtkRenderingCore import (vtkColorTransferFunction, vtkRenderer, vtkRenderWindow, vtkVolume,
                                             vtkVolumeProperty, vtkWindowToImageFilter)
    from vtkmodules.vtkRenderingVolume import vtkFixedPointVolumeRayCastMapper
    import vtkmodules.vtkRenderingOpenGL2  # noqa: F401  (registers the render window)
    import vtkmodules.vtkRenderingVolumeOpenGL2  # noqa: F401  (registers the ray caster's image display)
except ImportError as e:  # pragma: no cover - depends on the machine
    print("skip VTK or numpy missing: %s (install python3-vtk9 and python3-numpy)" % e, flush=True)
    sys.exit(0)

VIEWS = 36
WINDOWS = {"opaque": (2.0, -199.0), "translucent": (3000.0, 1500.0), "all_below": (100.0, 3000.0)}


def warm_colour(t):
    """tools/vrdebug/phantom.h warmColourMap, as 0..1 RGB."""
    return (min(1.0, t * 2.2), min(1.0, max(0.0, (t - 0.25) * 1.6)), min(1.0, max(0.0, (t - 0.6) * 2.5)))


class Peer:
    def __init__(self):
        self.ren = vtkRenderer()
        self.ren.SetBackground(0, 0, 0)
        self.win = vtkRenderWindow()
        self.win.SetOffScreenRendering(1)
        self.win.AddRenderer(self.ren)
        self.img = None
        self.voxels = None
        self.centre = (0, 0, 0)
        self.spacing = (1, 1, 1)

    def volume(self, path, nx, ny, nz, sx, sy, sz):
        self.voxels = np.fromfile(path, dtype=np.int16, count=nx * ny * nz)
        self.img = vtkImageData()
        self.img.SetDimensions(nx, ny, nz)
        self.img.SetSpacing(sx, sy, sz)
        self.img.SetOrigin(0, 0, 0)
        self.img.GetPointData().SetScalars(numpy_to_vtk(self.voxels, deep=False, array_type=VTK_SHORT))
        self.centre = ((nx - 1) * sx * 0.5, (ny - 1) * sy * 0.5, (nz - 1) * sz * 0.5)
        self.spacing = (sx, sy, sz)

    def setup(self, mode, tf, w, h, threads):
        vtkMultiThreader.SetGlobalMaximumNumberOfThreads(threads)
        width, level = WINDOWS[tf]
        lower = level - width * 0.5
        step = min(self.spacing)
        mapper = vtkFixedPointVolumeRayCastMapper()
        mapper.SetNumberOfThreads(threads)
        mapper.SetInputData(self.img)
        mapper.SetAutoAdjustSampleDistances(False)
        mapper.SetImageSampleDistance(1.0)
        mapper.SetSampleDistance(step)
        colour = vtkColorTransferFunction()
        opacity = vtkPiecewiseFunction()
        for i in range(0, 256, 15):
            t = i / 255.0
            colour.AddRGBPoint(lower + t * width, *warm_colour(t))
        colour.AddRGBPoint(lower + width, *warm_colour(1.0))
        if mode == "mip":
            # Ours maps the largest sample through the colour table alone.
            mapper.SetBlendModeToMaximumIntensity()
            opacity.AddPoint(lower, 1.0)
            opacity.AddPoint(lower + width, 1.0)
        else:
            mapper.SetBlendModeToComposite()
            opacity.AddPoint(lower, 0.0)
            opacity.AddPoint(lower + width, 1.0)
        prop = vtkVolumeProperty()
        prop.SetColor(colour)
        prop.SetScalarOpacity(opacity)
        # Ours takes a table opacity per sample: the same per step here.
        prop.SetScalarOpacityUnitDistance(step)
        prop.ShadeOff()
        if mode == "composite_nearest":
            prop.SetInterpolationTypeToNearest()
        else:
            prop.SetInterpolationTypeToLinear()
        vol = vtkVolume()
        vol.SetMapper(mapper)
        vol.SetProperty(prop)
        self.ren.RemoveAllViewProps()
        self.ren.AddVolume(vol)
        self.win.SetSize(w, h)
        self.size = (w, h)
        cam = self.ren.GetActiveCamera()
        cam.ParallelProjectionOn()
        diagonal = 2.0 * math.sqrt(sum(c * c for c in self.centre))
        cam.SetParallelScale(1.02 * diagonal / min(w, h) * h * 0.5)
        self.aim(0)
        self.win.Render()  # builds the mapper's tables

    def aim(self, view):
        """bench_raycast.cpp aim(): a 36-view orbit around z, tilted 20 degrees."""
        cam = self.ren.GetActiveCamera()
        a = 2.0 * math.pi * view / VIEWS
        tilt = math.radians(20.0)
        d = (math.cos(a) * math.cos(tilt), math.sin(a) * math.cos(tilt), math.sin(tilt))
        cam.SetFocalPoint(*self.centre)
        cam.SetPosition(*(self.centre[i] - d[i] * 1500.0 for i in range(3)))
        cam.SetViewUp(0, 0, 1)
        cam.SetClippingRange(1, 4000)

    def frame(self, view):
        self.aim(view)
        t0 = time.perf_counter()
        self.win.Render()
        return (time.perf_counter() - t0) * 1e3

    def grab(self, view, path):
        self.aim(view)
        self.win.Render()
        grab = vtkWindowToImageFilter()
        grab.SetInput(self.win)
        grab.ReadFrontBufferOff()
        grab.Update()
        out = grab.GetOutput()
        w, h, _ = out.GetDimensions()
        rgb = vtk_to_numpy(out.GetPointData().GetScalars()).reshape(h, w, -1)[:, :, :3]
        np.ascontiguousarray(rgb[::-1]).astype(np.uint8).tofile(path)


def main():
    peer = Peer()
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        cmd = words[0]
        if cmd == "quit":
            break
        if cmd == "volume":
            peer.volume(words[1], *(int(v) for v in words[2:5]), *(float(v) for v in words[5:8]))
            print("ok", flush=True)
        elif cmd == "setup":
            peer.setup(words[1], words[2], int(words[3]), int(words[4]), int(words[5]))
            print("ok", flush=True)
        elif cmd == "frame":
            print("ms %.4f" % peer.frame(int(words[1])), flush=True)
        elif cmd == "grab":
            peer.grab(int(words[1]), words[2])
            print("ok", flush=True)
        else:
            print("error unknown command %s" % cmd, flush=True)
    peer.win.Finalize()


if __name__ == "__main__":
    main()
