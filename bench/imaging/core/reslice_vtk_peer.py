#!/usr/bin/python3
"""Reference timings for bench_reslice: the same phantom and the same planes
resliced by VTK's vtkImageReslice with one thread.

Prints one line "case <name> <milliseconds>" per case (best of three runs,
CPU time of the calling thread, as the C++ side measures). VTK's time is one
Update() of a modified vtkImageReslice: it includes the pipeline update and
the allocation of the output image; ours writes into a buffer allocated once.

Sagittal and coronal planes come in two layouts:
  <name>    the layout of our kernel: output rows along z (the image's first
            axis is z), so neighbouring output pixels lie one slice apart in
            the input;
  <name>_t  the transposed layout, output rows along y (sagittal) or x
            (coronal): neighbouring output pixels are neighbours in memory,
            VTK's cheapest order. A different image, timed for reference.

With an output folder argument, writes each case's image (the first layout)
as raw signed 16-bit samples, rows first, to <folder>/<name>.raw so that the
caller can compare it with its own.
Exits quietly with a message when VTK or numpy is missing.
"""
import os
import sys
import time

try:
    import numpy as np
    from vtkmodules.util.numpy_support import numpy_to_vtk
    from vtkmodules.vtkCommonCore import VTK_SHORT, vtkMultiThreader, vtkSMPTools
    from vtkmodules.vtkCommonDataModel import vtkImageData
    from vtkmodules.vtkCommonMath import vtkMatrix4x4
    from vtkmodules.vtkImagingCore import vtkImageReslice
except ImportError as e:  # pragma: no cover - depends on the machine
    print("VTK peer skipped: %s (install python3-vtk9 and python3-numpy)" % e)
    sys.exit(0)

DX, DY, DZ = 512, 512, 500
S = 0.7
OUT = 512


def phantom():
    """Same values as phantomValue() in bench_reslice.cpp."""
    vol = np.empty((DZ, DY, DX), dtype=np.int16)
    y, x = np.mgrid[0:DY, 0:DX]
    ex = (x - 256.0) / 230.0
    ey = (y - 256.0) / 180.0
    body = ex * ex + ey * ey <= 1.0
    for z in range(DZ):
        v = 40 + ((x * 7 + y * 13 + z * 17) & 31) - 16
        for s in range(4):
            cx, cy, cz, r = 150 + 70 * s, 250, 100 + 90 * s, 25 + 5 * s
            d = (x - cx) ** 2 + (y - cy) ** 2 + (z - cz) ** 2
            v = np.where(d < r * r, 1000 + 50 * s, v)
        vol[z] = np.where(body, v, -1000)
    return vol


def image_of(vol):
    img = vtkImageData()
    img.SetDimensions(DX, DY, DZ)
    img.SetSpacing(S, S, S)
    img.SetOrigin(0, 0, 0)
    arr = numpy_to_vtk(vol.ravel(), deep=False, array_type=VTK_SHORT)
    img.GetPointData().SetScalars(arr)
    return img, arr


def axes(e0, e1, n, origin):
    m = vtkMatrix4x4()
    for r in range(3):
        m.SetElement(r, 0, e0[r])
        m.SetElement(r, 1, e1[r])
        m.SetElement(r, 2, n[r])
        m.SetElement(r, 3, origin[r])
    return m


def oblique_axes(a, b):
    ca, sa = np.cos(np.radians(a)), np.sin(np.radians(a))
    cb, sb = np.cos(np.radians(b)), np.sin(np.radians(b))
    return (cb, 0.0, -sb), (sb * sa, ca, cb * sa), (sb * ca, -sa, cb * ca)


OUTPUT_FOLDER = None


def run(img, name, matrix, extent, interpolation, slab, mode, save=True):
    r = vtkImageReslice()
    r.SetNumberOfThreads(1)
    if hasattr(r, "SetEnableSMP"):
        r.SetEnableSMP(False)
    r.SetInputData(img)
    r.SetResliceAxes(matrix)
    r.SetOutputDimensionality(2)
    r.SetOutputSpacing(S, S, S)
    r.SetOutputOrigin(0, 0, 0)
    r.SetOutputExtent(0, extent[0] - 1, 0, extent[1] - 1, 0, 0)
    r.SetBackgroundLevel(-1024)
    {"nearest": r.SetInterpolationModeToNearestNeighbor,
     "linear": r.SetInterpolationModeToLinear,
     "cubic": r.SetInterpolationModeToCubic}[interpolation]()
    r.SetSlabNumberOfSlices(slab)
    {"min": r.SetSlabModeToMin, "max": r.SetSlabModeToMax,
     "mean": r.SetSlabModeToMean, "sum": r.SetSlabModeToSum}[mode]()
    r.Update()
    best = 1e30
    for _ in range(3):
        r.Modified()
        t0 = time.thread_time()
        r.Update()
        best = min(best, time.thread_time() - t0)
    print("case %s %.4f" % (name, best * 1e3), flush=True)
    if save and OUTPUT_FOLDER:
        from vtkmodules.util.numpy_support import vtk_to_numpy
        out = vtk_to_numpy(r.GetOutput().GetPointData().GetScalars()).astype(np.int16)
        out.tofile(os.path.join(OUTPUT_FOLDER, name + ".raw"))


def main():
    global OUTPUT_FOLDER
    if len(sys.argv) > 1:
        OUTPUT_FOLDER = sys.argv[1]
    vtkMultiThreader.SetGlobalMaximumNumberOfThreads(1)
    vtkSMPTools.Initialize(1)
    img, keep = image_of(phantom())

    planes = {
        "axial": (axes((1, 0, 0), (0, 1, 0), (0, 0, 1), (0, 0, (DZ // 2) * S)), (DX, DY)),
        # The slab axis along +x: with -x, VTK's nearest-neighbour slab of an
        # odd count reaches one plane further on one side than on the other.
        "sagittal": (axes((0, 0, 1), (0, 1, 0), (1, 0, 0), ((DX - 1 - DX // 2) * S, 0, 0)), (DZ, DY)),
        "coronal": (axes((0, 0, 1), (1, 0, 0), (0, 1, 0), (0, (DX // 2) * S, 0)), (DZ, DX)),
    }
    transposed = {
        "sagittal": (axes((0, 1, 0), (0, 0, 1), (1, 0, 0), ((DX - 1 - DX // 2) * S, 0, 0)), (DY, DZ)),
        "coronal": (axes((1, 0, 0), (0, 0, 1), (0, -1, 0), (0, (DX // 2) * S, 0)), (DX, DZ)),
    }
    for orient, (m, ext) in planes.items():
        for slab in (1, 15, 31):
            for mode in ("min", "max", "mean", "sum"):
                if slab == 1 and mode != "max":
                    continue
                name = "%s_s%d_%s" % (orient, slab, mode)
                run(img, name, m, ext, "nearest", slab, mode)
                if orient in transposed:
                    mt, extt = transposed[orient]
                    run(img, name + "_t", mt, extt, "nearest", slab, mode, save=False)

    centre = np.array([(DX - 1) * S / 2, (DY - 1) * S / 2, (DZ - 1) * S / 2])
    for label, a, b in (("0", 0, 0), ("30", 30, 0), ("45", 45, 0), ("30_20", 30, 20)):
        e0, e1, n = (np.array(v) for v in oblique_axes(a, b))
        origin = centre - (OUT // 2) * S * (e0 + e1)
        m = axes(e0, e1, n, origin)
        for interp in ("linear", "cubic"):
            run(img, "oblique_%s_%s" % (label, interp), m, (OUT, OUT), interp, 1, "max")
        if label in ("30", "30_20"):
            run(img, "oblique_%s_linear_mip31" % label, m, (OUT, OUT), "linear", 31, "max")


if __name__ == "__main__":
    main()
