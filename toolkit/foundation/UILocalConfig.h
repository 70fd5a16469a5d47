// Persistent settings: named texts in the engine's UserDefault store, with the
// name and the value each stored as base64 text.
#pragma once

#include <cstdint>
#include <string>

namespace NSUI {

// A mix-in for screens and services; every operation is static, so it may
// also be called as NSUI::UILocalConfig::getStringForKey(...). The engine
// store locks internally, so any thread may call these.
class UILocalConfig {
public:
    // The stored value, or `def` when the setting was never written (or the
    // name is empty). A setting written with "" reads as ""; a stored value
    // that is not valid base64 reads as "".
    static std::string getStringForKey(const char* name, const std::string& def);
    // Writes the value and flushes the store to disk. An empty name writes
    // nothing and does not flush.
    static void setStringForKey(const char* name, const std::string& value);
    // Writes the value without flushing; the engine flushes at exit.
    static void setStringForKeyNoFlush(const char* name, const std::string& value);
    // atoi of the stored text ("%i" of `def` when never written).
    static int32_t getIntegerForKey(const char* name, int32_t def);
    // Writes the value as "%i" text and flushes.
    static void setIntegerForKey(const char* name, int32_t value);
};

// The setting that chooses the short ("0", the default) or the full patient
// and study texts over the 2-D viewers.
constexpr const char* kShowDcmFullInfoSetting = "sdk_show_dcmFullInfo";
// False only when the setting holds exactly "0"; any other value, the empty
// one included, asks for the full texts.
bool getShowDcmFullInfo();

}  // namespace NSUI
