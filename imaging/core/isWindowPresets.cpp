#include "imaging/core/isWindowPresets.h"

#include "imaging/core/isImageTypes.h"

namespace isImageSDK {

namespace {

struct PresetRow {
  const char* name;
  float centre;
  float width;
};

constexpr PresetRow kCT[] = {
    {"Abdomen", 60, 400}, {"Angio", 300, 600}, {"Bone", 300, 1500},
    {"Brain", 40, 80},    {"Chest", 40, 400},  {"Lung", -400, 1500},
};

// The upper end of each window in thousands; every window starts at 0.
constexpr PresetRow kPT[] = {
    {"10K", 5000, 10000},   {"20K", 10000, 20000},   {"40K", 20000, 40000},
    {"80K", 40000, 80000},  {"160K", 80000, 160000}, {"320K", 160000, 320000},
};

constexpr PresetRow kGeneric[] = {
    {"20/40", 20, 40},       {"40/80", 40, 80},         {"80/160", 80, 160},
    {"160/320", 160, 320},   {"320/640", 320, 640},     {"640/1280", 640, 1280},
    {"1280/2560", 1280, 2560}, {"2560/5120", 2560, 5120},
};

template <size_t N>
void append(const PresetRow (&rows)[N], std::vector<WindowPreset>& presets) {
  for (const PresetRow& row : rows) presets.push_back(WindowPreset{row.name, row.width, row.centre});
}

}  // namespace

void getWindowPresets(int modality, std::vector<WindowPreset>& presets) {
  presets.clear();
  switch (modality) {
    case MODALITY_CT: append(kCT, presets); break;
    case MODALITY_PT: append(kPT, presets); break;
    default: append(kGeneric, presets); break;
  }
}

void getWindowPresets(int modality, std::vector<WindowPreset>* presets) {
  if (presets) getWindowPresets(modality, *presets);
}

}  // namespace isImageSDK
