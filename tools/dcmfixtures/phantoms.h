// Series for the viewers' tests and benchmarks: the ray caster's CT phantom
// (tools/vrdebug/phantom.h) written as an axial CT series, and a dynamic
// (4-D) PET series whose hot sphere moves one step per phase.
//
// Both use Image Orientation 1\0\0\0\1\0: columns run to the patient's left
// (+x), rows to posterior (+y), and slice k lies k slice spacings superior
// (+z) of slice 0, centred on the origin. Instance Number k + 1 is slice k
// (for the PET series: phase-major, phase p slice j is p × slices + j + 1).
#pragma once

#include <string>

#include "tools/dcmfixtures/fixtures.h"

namespace dcmfixtures {

struct CtPhantom {
  int width = 256, height = 256, slices = 500;
  double spacingX = 1.0, spacingY = 1.0;  // mm between columns, between rows
  double sliceSpacing = 1.0;              // mm between slices (also the thickness)
  std::string position = "HFS";           // Patient Position: HFS, FFS, HFP, ...
};

// Writes "<dir>/ct_<position>_<k>.dcm": CT Image Storage, explicit VR little
// endian, 12 bits stored in 16, unsigned, Rescale Intercept −1024 and
// Slope 1, so that the rescaled values are the phantom's Hounsfield units;
// window 40/400. Every position gets its own study and series.
Series writeCtPhantom(const std::string& dir, const CtPhantom& p);

// Hounsfield units of one voxel (slice z, row y, column x) of the series.
int ctPhantomValue(const CtPhantom& p, int x, int y, int z);

// The voxel at the centre of sphere i of the phantom
// (vrdebug::phantomSpheres(): 0 bone on the patient's right, anterior;
// 1 contrast, left anterior inferior; 2 fat, left posterior superior;
// 3 lung, right posterior inferior; 4 dense bone, anterior superior).
struct Voxel {
  int x = 0, y = 0, z = 0;
};
Voxel ctPhantomSphereVoxel(const CtPhantom& p, int sphere);

// Patient coordinates (mm) of a voxel centre.
void ctPhantomPoint(const CtPhantom& p, double x, double y, double z, double out[3]);

struct Pet4d {
  int width = 128, height = 128;
  int slices = 64;  // per phase: Number of Slices (0054,0081)
  int phases = 20;  // Number of Time Slices (0054,0101)
  double spacing = 2.0;  // mm, in plane and between slices
  int frameMillis = 30000;  // Actual Frame Duration; phase p starts at p × this
};

// Writes "<dir>/pt4d_<instance>.dcm": PET Image Storage, Series Type
// DYNAMIC\IMAGE, 16 bits unsigned, slope 1, in phase-major Instance Number
// order. Every phase holds an elliptic body of 100 and a sphere of
// petSphereValue(phase) centred at petSphereVoxel(phase); the sphere moves
// one step per phase and its radius is below the step, so the centre voxel of
// phase p lies in the sphere only in phase p.
Series write4dPet(const std::string& dir, const Pet4d& p);

// Stored (= rescaled) value of voxel (x, y, slice z) in a phase.
int petValue(const Pet4d& p, int x, int y, int z, int phase);
Voxel petSphereVoxel(const Pet4d& p, int phase);
int petSphereValue(int phase);
constexpr int kPetBodyValue = 100;

}  // namespace dcmfixtures
