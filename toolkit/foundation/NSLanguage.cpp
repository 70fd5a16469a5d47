#include "toolkit/foundation/NSLanguage.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <pugixml.hpp>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSDictionary.h"

namespace NSUI {

namespace {

const char* const kLanguageNames[] = {
    "english",   "chinese",   "french",    "italian",   "german", "spanish",    "dutch",
    "russian",   "korean",    "japanese",  "hungarian", "portuguese", "arabic", "norwegian",
    "polish",    "turkish",   "ukrainian", "romanian",  "bulgarian",
};

std::atomic<NSLanguage*> g_table{nullptr};

int currentLanguageCode()
{
    if (auto* app = cocos2d::Application::getInstance())
        return static_cast<int>(app->getCurrentLanguage());
    return static_cast<int>(cocos2d::languageTypeFromLocale(cocos2d::currentLocaleName()));
}

// True when `text` is a property list whose root is a dictionary without
// entries: a valid table that holds no language.
bool isEmptyDictionaryPlist(const std::string& text)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size()))
        return false;
    pugi::xml_node root = doc.document_element();
    if (root && std::strcmp(root.name(), "plist") == 0)
        root = root.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; });
    return root && std::strcmp(root.name(), "dict") == 0 &&
           !root.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; });
}

NSDictionary* languageDictionary(NSDictionary* all, const char* name)
{
    if (!all || all->dictType == 0)
        return nullptr;
    return dynamic_cast<NSDictionary*>(all->objectForKey(name));
}

}  // namespace

NSLanguage::NSLanguage() : fileName("language.dat") {}

NSLanguage::~NSLanguage()
{
    // A table that goes stops answering getLocalizedString at once.
    NSLanguage* self = this;
    g_table.compare_exchange_strong(self, nullptr);
    if (all)
        all->release();
}

const char* NSLanguage::languageName(int code)
{
    if (code < 0 || code >= static_cast<int>(sizeof(kLanguageNames) / sizeof(kLanguageNames[0])))
        return "english";
    return kLanguageNames[code];
}

void NSLanguage::load()
{
    if (all)
        return;
    auto* files = cocos2d::FileUtils::getInstance();
    std::string path = files->fullPathForFilename(fileName);
    if (path.empty())
        return;
    std::string text = files->getStringFromFile(path);
    if (text.empty())
        return;

    unsigned char* decoded = nullptr;
    int length = cocos2d::safeBase64Decode(reinterpret_cast<const unsigned char*>(text.data()),
                                           static_cast<unsigned int>(text.size()), &decoded);
    if (length > 0 && decoded) {
        const char* bytes = reinterpret_cast<const char*>(decoded);
        text.assign(bytes, strnlen(bytes, static_cast<size_t>(length)));
    }
    free(decoded);
    if (text.empty())
        return;

    NSDictionary* dict = NSDictionary::createWithData(text);
    // An empty table is kept as loaded (nothing to report, nothing to load
    // again); only a text that is no property list is a failure.
    if (!dict || (dict->dictType == 0 && !isEmptyDictionaryPlist(text))) {
        cocos2d::log("Failed to load config file of language.");
        return;
    }
    dict->retain();
    all = dict;
    current = languageDictionary(all, languageName(currentLanguageCode()));
    if (!current)
        current = languageDictionary(all, "english");
}

std::string& NSLanguage::getString(std::string key)
{
    result.clear();
    if (current && !key.empty() && current->dictType != 0) {
        if (auto* value = dynamic_cast<cocos2d::__String*>(current->objectForKey(key)))
            result = value->getString();
    }
    return result;
}

std::string getLocalizedString(const char* key)
{
    return getLocalizedString(std::string(key ? key : ""));
}

std::string getLocalizedString(const std::string& key)
{
    NSLanguage* table = g_table.load();
    if (!table)
        return "";
    return table->getString(key);
}

void setLocalizedStringTable(NSLanguage* table) { g_table.store(table); }

}  // namespace NSUI
