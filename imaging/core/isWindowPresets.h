// Named windows offered by the window-level menus, chosen by the modality of
// the image shown.
#pragma once

#include <string>
#include <vector>

namespace isImageSDK {

struct WindowPreset {
  std::string name;
  float width = 0.0f;
  float centre = 0.0f;
};

// Empties the list, then appends the presets of the modality code (CT, PT,
// or the generic ones for every other code, 7 when no image is shown).
void getWindowPresets(int modality, std::vector<WindowPreset>& presets);
void getWindowPresets(int modality, std::vector<WindowPreset>* presets);

}  // namespace isImageSDK
