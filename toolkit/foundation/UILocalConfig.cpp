#include "toolkit/foundation/UILocalConfig.h"

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"

#include <cstdlib>
#include <cstring>

namespace NSUI {

namespace {

std::string encodedName(const char* name)
{
    if (!name || !*name)
        return std::string();
    return cocos2d::safeBase64EncodeString(name, std::strlen(name));
}

// Writes without flushing; false when nothing could be written.
bool store(const std::string& key, const std::string& value)
{
    if (key.empty())
        return false;
    const std::string encoded = value.empty() ? std::string() : cocos2d::safeBase64EncodeString(value);
    cocos2d::UserDefault::getInstance()->setStringForKey(key.c_str(), encoded);
    return true;
}

}  // namespace

std::string UILocalConfig::getStringForKey(const char* name, const std::string& def)
{
    const std::string key = encodedName(name);
    if (key.empty())
        return def;
    cocos2d::UserDefault* ud = cocos2d::UserDefault::getInstance();
    // Asking whether the key exists, rather than comparing the answer with
    // the default, decodes every stored value, even one whose encoded text
    // happens to equal the caller's default.
    if (!ud->hasKey(key.c_str()))
        return def;
    const std::string raw = ud->getStringForKey(key.c_str(), std::string());
    if (raw.empty())
        return std::string();
    std::string decoded = cocos2d::safeBase64DecodeString(raw);
    const size_t zero = decoded.find('\0');
    if (zero != std::string::npos)
        decoded.resize(zero);
    return decoded;
}

void UILocalConfig::setStringForKey(const char* name, const std::string& value)
{
    if (!name || !*name)
        return;
    store(encodedName(name), value);
    cocos2d::UserDefault::getInstance()->flush();
}

void UILocalConfig::setStringForKeyNoFlush(const char* name, const std::string& value)
{
    store(encodedName(name), value);
}

int32_t UILocalConfig::getIntegerForKey(const char* name, int32_t def)
{
    return static_cast<int32_t>(std::atoi(getStringForKey(name, formatString("%i", def)).c_str()));
}

void UILocalConfig::setIntegerForKey(const char* name, int32_t value)
{
    setStringForKey(name, formatString("%i", value));
    cocos2d::UserDefault::getInstance()->flush();
}

bool getShowDcmFullInfo()
{
    return UILocalConfig::getStringForKey(kShowDcmFullInfoSetting, "0") != "0";
}

}  // namespace NSUI
