// dcmfixtures <outdir> [--size WxH] [--slices N] [--only name,...] [--broken]
//              | <outdir> [--size WxH] --library P,S,E,I | <outdir> --hostile-library
// Writes deterministic synthetic DICOM series (one folder per variant), the
// character-set name examples ("charsets"), an enhanced MR ("enhanced_mr"),
// the CT phantom in HFS, FFS and HFP ("ct_phantom") and a dynamic PET of 20
// phases ("pt_4d"; --slices gives the slices per phase).
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <set>
#include <sstream>
#include <string>

#include "tools/dcmfixtures/extras.h"
#include "tools/dcmfixtures/fixtures.h"
#include "tools/dcmfixtures/library.h"
#include "tools/dcmfixtures/phantoms.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <outdir> [--size WxH] [--slices N] [--only a,b] [--broken]\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  int w = 64, h = 48, slices = 4;
  bool broken = false;
  std::set<std::string> only;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > 65535 || h > 65535) {
        std::fprintf(stderr, "bad size\n");
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--slices") && i + 1 < argc) {
      slices = std::atoi(argv[++i]);
      if (slices < 1) slices = 1;
    } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
      std::stringstream ss(argv[++i]);
      std::string item;
      while (std::getline(ss, item, ',')) only.insert(item);
    } else if (!std::strcmp(argv[i], "--library") && i + 1 < argc) {
      int p = 0, s = 0, e = 0, n = 0;
      if (std::sscanf(argv[++i], "%d,%d,%d,%d", &p, &s, &e, &n) != 4 || p < 1 || s < 1 || e < 1 || n < 1) {
        std::fprintf(stderr, "bad library P,S,E,I\n");
        return 2;
      }
      try {
        auto files = dcmfixtures::writeLibrary(dir, p, s, e, n, w == 64 ? 16 : w, h == 48 ? 16 : h);
        std::printf("library: %zu file(s)\n", files.size());
      } catch (const std::exception& ex) {
        std::fprintf(stderr, "%s\n", ex.what());
        return 1;
      }
      return 0;
    } else if (!std::strcmp(argv[i], "--hostile-library")) {
      try {
        for (auto& f : dcmfixtures::writeHostileLibrary(dir)) std::printf("%s: %s\n", f.path.c_str(), f.what.c_str());
      } catch (const std::exception& ex) {
        std::fprintf(stderr, "%s\n", ex.what());
        return 1;
      }
      return 0;
    } else if (!std::strcmp(argv[i], "--broken")) {
      broken = true;
    } else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  try {
    for (const auto& v : dcmfixtures::allVariants()) {
      if (!only.empty() && !only.count(v.name)) continue;
      auto s = dcmfixtures::writeSeries(dir + "/" + v.name, v, w, h, slices);
      std::printf("%s: %zu file(s)\n", v.name.c_str(), s.files.size());
    }
    if (only.empty() || only.count("charsets")) {
      for (const auto& p : dcmfixtures::writeNameExamples(dir + "/charsets")) std::printf("charsets: %s\n", p.c_str());
    }
    if (only.empty() || only.count("enhanced_mr")) {
      dcmfixtures::EnhancedMr e;
      e.frames = slices > 1 ? slices : e.frames;
      if (w != 64 || h != 48) {
        e.width = w;
        e.height = h;
      }
      const std::string folder = dir + "/enhanced_mr";
      mkdir(folder.c_str(), 0755);
      dcmfixtures::writeEnhancedMr(folder + "/enhanced_mr.dcm", e);
      std::printf("enhanced_mr: 1 file(s), %d frames\n", e.frames);
    }
    if (only.empty() || only.count("ct_phantom")) {
      dcmfixtures::CtPhantom p;
      p.width = w;
      p.height = h;
      p.slices = slices > 1 ? slices : 2;
      for (const char* position : {"HFS", "FFS", "HFP"}) {
        p.position = position;
        auto s = dcmfixtures::writeCtPhantom(dir + "/ct_phantom_" + position, p);
        std::printf("ct_phantom_%s: %zu file(s)\n", position, s.files.size());
      }
    }
    if (only.empty() || only.count("pt_4d")) {
      dcmfixtures::Pet4d p;
      p.width = std::max(8, w);
      p.height = std::max(8, h);
      p.slices = slices > 1 ? slices : 2;
      auto s = dcmfixtures::write4dPet(dir + "/pt_4d", p);
      std::printf("pt_4d: %zu file(s), %d phases of %d slices\n", s.files.size(), p.phases, p.slices);
    }
    if (broken) {
      for (const auto& b : dcmfixtures::writeBroken(dir + "/broken"))
        std::printf("broken: %s (%s)\n", b.path.c_str(), b.what.c_str());
      std::printf("dataset only: %s\n",
                  dcmfixtures::writeDatasetOnly(dir + "/dataset_only/ct_bee.dcm", *dcmfixtures::findVariant("ct_bee"), w, h)
                      .c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dcmfixtures: %s\n", e.what());
    return 1;
  }
  return 0;
}
