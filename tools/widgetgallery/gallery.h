// Shared by the scenes of the widget gallery: the scripted run (one step
// per frame), SDL input pushed into the window's queue, screenshots and
// the results file.
#pragma once

#include <SDL2/SDL.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/cocos2d.h"

namespace gallery {

// The output folder of a scripted run ("" when interactive).
extern std::string g_outDir;
// Lines written to results.txt at the end of a scripted run.
extern std::vector<std::string> g_results;

// A scene and its script; the script is called once per frame with the
// frame number (from 1) and returns false when it is done.
struct SceneEntry {
    std::function<cocos2d::Scene*()> build;
    std::function<bool(int frame)> script;
};
// Scenes by name; each scene file registers itself.
std::map<std::string, SceneEntry>& scenes();
struct Register {
    Register(const std::string& name, SceneEntry entry) { scenes()[name] = std::move(entry); }
};

// Left button (or `button`) events at design point (x, y), y up.
void pushButton(Uint32 type, float x, float y, Uint8 button = SDL_BUTTON_LEFT);
void pushMotion(float x, float y, bool leftHeld);
// Moves the pointer there, then turns the wheel by `notches` (positive away
// from the user).
void pushWheel(float x, float y, int notches);
// Saves the next rendered frame as DIR/name.
void saveFrame(const std::string& name);
void result(const std::string& line);

} // namespace gallery
