// Engine-wide macros: namespace helpers, ownership helpers, logging shortcuts,
// callback binders and the constants shared by containers and the scheduler.
#pragma once

#include <cassert>
#include <climits>
#include <cstddef>
#include <functional>
#include <sys/types.h>

#define NS_CC_BEGIN namespace cocos2d {
#define NS_CC_END }
#define USING_NS_CC using namespace cocos2d

// "No index": returned by index lookups when the element is absent.
#define CC_INVALID_INDEX (static_cast<ssize_t>(-1))

// Repeat count meaning "until unscheduled".
#define CC_REPEAT_FOREVER (UINT_MAX - 1)

#define CC_SAFE_DELETE(p) do { delete (p); (p) = nullptr; } while (0)
#define CC_SAFE_DELETE_ARRAY(p) do { delete[] (p); (p) = nullptr; } while (0)
#define CC_SAFE_FREE(p) do { if (p) { free(p); (p) = nullptr; } } while (0)
#define CC_SAFE_RELEASE(p) do { if (p) { (p)->release(); } } while (0)
#define CC_SAFE_RELEASE_NULL(p) do { if (p) { (p)->release(); (p) = nullptr; } } while (0)
#define CC_SAFE_RETAIN(p) do { if (p) { (p)->retain(); } } while (0)
#define CC_BREAK_IF(cond) if (cond) break

#define CC_UNUSED_PARAM(x) (void)(x)

#ifndef NDEBUG
#define CC_ASSERT(cond) assert(cond)
#define CCASSERT(cond, msg) assert((cond) && (msg))
#define CCLOG(...) ::cocos2d::log(__VA_ARGS__)
#else
#define CC_ASSERT(cond) ((void)0)
#define CCASSERT(cond, msg) ((void)0)
#define CCLOG(...) ((void)0)
#endif
#define CCLOGWARN(...) ::cocos2d::log(__VA_ARGS__)
#define CCLOGERROR(...) ::cocos2d::log(__VA_ARGS__)
#define CCLOGINFO(...) ((void)0)

// Getter/setter declaration helpers.
#define CC_SYNTHESIZE(varType, varName, funName) \
 protected: varType varName; \
 public: virtual varType get##funName() const { return varName; } \
 public: virtual void set##funName(varType var) { varName = var; }

#define CC_SYNTHESIZE_READONLY(varType, varName, funName) \
 protected: varType varName; \
 public: virtual varType get##funName() const { return varName; }

// create() = new + init() + autorelease(); a failed init deletes the object.
#define CREATE_FUNC(__TYPE__) \
  static __TYPE__* create() { \
    __TYPE__* pRet = new (std::nothrow) __TYPE__(); \
    if (pRet && pRet->init()) { pRet->autorelease(); return pRet; } \
    delete pRet; \
    return nullptr; \
  }

#define CC_CALLBACK_0(sel, target, ...) std::bind(&sel, target, ##__VA_ARGS__)
#define CC_CALLBACK_1(sel, target, ...) std::bind(&sel, target, std::placeholders::_1, ##__VA_ARGS__)
#define CC_CALLBACK_2(sel, target, ...) std::bind(&sel, target, std::placeholders::_1, std::placeholders::_2, ##__VA_ARGS__)
#define CC_CALLBACK_3(sel, target, ...) std::bind(&sel, target, std::placeholders::_1, std::placeholders::_2, std::placeholders::_3, ##__VA_ARGS__)

#define CC_DEGREES_TO_RADIANS(deg) ((deg) * 0.01745329252f)
#define CC_RADIANS_TO_DEGREES(rad) ((rad) * 57.29577951f)

#define CC_DLL
