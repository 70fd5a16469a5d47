// A reference-counted dictionary of engine objects keyed by text or by
// integer, filled from property lists.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cocos2d.h"

namespace NSUI {

struct NSDictionaryEntry;

// Property-list values become objects: dictionaries become NSDictionary,
// arrays cocos2d::__Array, every other value a cocos2d::__String holding
// Value::asString() (so numbers read back with atoi/atof, booleans as
// "true"/"false"). The dictionary retains what it holds.
//
// Not thread-safe: one thread uses a dictionary at a time.
class NSDictionary : public cocos2d::Ref, public cocos2d::Clonable {
public:
    NSDictionary();
    ~NSDictionary() override;

    // The object under the key (not retained), or null. A text key is used up
    // to its first zero byte.
    cocos2d::Ref* objectForKey(const std::string& key) const;

    // Stores the object (retained) under the key, releasing an object that
    // the key held before. Setting the object a key already holds changes
    // nothing. A null object is ignored.
    void setObject(cocos2d::Ref* object, const std::string& key);
    void setObject(cocos2d::Ref* object, int64_t key);

    // Releases every object and empties the dictionary.
    void removeAllObjects();

    // A new dictionary from a value map, holding one reference for the
    // caller (not autoreleased).
    static NSDictionary* createWithValueMap(const cocos2d::ValueMap& map);
    // The same from a property-list file found through FileUtils (a missing
    // or malformed file gives an empty dictionary); not autoreleased. Null
    // for a null path.
    static NSDictionary* createWithContentsOfFile(const char* path);
    // The same from property-list text in memory, autoreleased.
    static NSDictionary* createWithData(std::string data);

    // A deep copy: each object that is Clonable is cloned, others are left
    // out. Like every engine clone, the copy holds one reference for the
    // caller and is not autoreleased.
    NSDictionary* clone() const override;

    // 0 until the first setObject, then 1 when that key was a text and 2 when
    // it was an integer. Never changes afterwards. Read it, don't write it.
    int32_t dictType = 0;

private:
    void replaceObject(NSDictionaryEntry* entry, cocos2d::Ref* object);

    NSDictionaryEntry* elements = nullptr;
};

}  // namespace NSUI
