#include "toolkit/foundation/NSDictionary.h"

#include <uthash.h>

namespace NSUI {

// One key and its object. A text entry is hashed over the bytes of strKey,
// an integer entry over the 8 bytes of intKey.
struct NSDictionaryEntry {
    std::string strKey;
    int64_t intKey = 0;
    bool integerKey = false;
    cocos2d::Ref* object = nullptr;
    UT_hash_handle hh;
};

namespace {

std::string textKey(const std::string& key)
{
    const size_t zero = key.find('\0');
    return zero == std::string::npos ? key : key.substr(0, zero);
}

// A new object (one reference, for the caller) for a property-list value.
cocos2d::Ref* objectForValue(const cocos2d::Value& value)
{
    switch (value.getType()) {
    case cocos2d::Value::Type::MAP:
        return NSDictionary::createWithValueMap(value.asValueMap());
    case cocos2d::Value::Type::VECTOR: {
        auto* array = new cocos2d::__Array();
        array->init();
        for (const cocos2d::Value& element : value.asValueVector()) {
            cocos2d::Ref* object = objectForValue(element);
            array->addObject(object);
            object->release();
        }
        return array;
    }
    default:
        return new cocos2d::__String(value.asString());
    }
}

}  // namespace

NSDictionary::NSDictionary() = default;

NSDictionary::~NSDictionary()
{
    removeAllObjects();
}

cocos2d::Ref* NSDictionary::objectForKey(const std::string& key) const
{
    if (!elements)
        return nullptr;
    const std::string k = textKey(key);
    NSDictionaryEntry* found = nullptr;
    HASH_FIND(hh, elements, k.data(), static_cast<unsigned>(k.size()), found);
    return found ? found->object : nullptr;
}

void NSDictionary::replaceObject(NSDictionaryEntry* entry, cocos2d::Ref* object)
{
    if (entry->object == object)
        return;
    // Retain the new object before the old one goes, in case the old object
    // is what keeps the new one alive.
    cocos2d::Ref* old = entry->object;
    object->retain();
    entry->object = object;
    old->release();
}

void NSDictionary::setObject(cocos2d::Ref* object, const std::string& key)
{
    if (!object)
        return;
    if (dictType == 0)
        dictType = 1;
    const std::string k = textKey(key);
    NSDictionaryEntry* found = nullptr;
    HASH_FIND(hh, elements, k.data(), static_cast<unsigned>(k.size()), found);
    if (found) {
        replaceObject(found, object);
        return;
    }
    auto* entry = new NSDictionaryEntry();
    entry->strKey = k;
    object->retain();
    entry->object = object;
    HASH_ADD_KEYPTR(hh, elements, entry->strKey.data(), static_cast<unsigned>(entry->strKey.size()), entry);
}

void NSDictionary::setObject(cocos2d::Ref* object, int64_t key)
{
    if (!object)
        return;
    if (dictType == 0)
        dictType = 2;
    NSDictionaryEntry* found = nullptr;
    HASH_FIND(hh, elements, &key, static_cast<unsigned>(sizeof key), found);
    if (found) {
        replaceObject(found, object);
        return;
    }
    auto* entry = new NSDictionaryEntry();
    entry->intKey = key;
    entry->integerKey = true;
    object->retain();
    entry->object = object;
    HASH_ADD_KEYPTR(hh, elements, &entry->intKey, static_cast<unsigned>(sizeof entry->intKey), entry);
}

void NSDictionary::removeAllObjects()
{
    NSDictionaryEntry* entry = nullptr;
    NSDictionaryEntry* next = nullptr;
    HASH_ITER(hh, elements, entry, next)
    {
        HASH_DEL(elements, entry);
        cocos2d::Ref* object = entry->object;
        delete entry;
        object->release();
    }
    elements = nullptr;
}

NSDictionary* NSDictionary::createWithValueMap(const cocos2d::ValueMap& map)
{
    auto* dict = new NSDictionary();
    for (const auto& [key, value] : map) {
        cocos2d::Ref* object = objectForValue(value);
        dict->setObject(object, key);
        object->release();
    }
    return dict;
}

NSDictionary* NSDictionary::createWithContentsOfFile(const char* path)
{
    if (!path)
        return nullptr;
    return createWithValueMap(cocos2d::FileUtils::getInstance()->getValueMapFromFile(path));
}

NSDictionary* NSDictionary::createWithData(std::string data)
{
    NSDictionary* dict = createWithValueMap(
        cocos2d::FileUtils::getInstance()->getValueMapFromData(data.data(), static_cast<int>(data.size())));
    dict->autorelease();
    return dict;
}

NSDictionary* NSDictionary::clone() const
{
    auto* copy = new NSDictionary();
    copy->dictType = dictType;
    for (NSDictionaryEntry* entry = elements; entry; entry = static_cast<NSDictionaryEntry*>(entry->hh.next)) {
        auto* clonable = dynamic_cast<cocos2d::Clonable*>(entry->object);
        if (!clonable)
            continue;
        cocos2d::Ref* dup = dynamic_cast<cocos2d::Ref*>(clonable->clone());
        if (!dup)
            continue;
        if (entry->integerKey)
            copy->setObject(dup, entry->intKey);
        else
            copy->setObject(dup, entry->strKey);
        dup->release();
    }
    return copy;
}

}  // namespace NSUI
