#include "toolkit/foundation/NSDictionary.h"

#include <gtest/gtest.h>

using namespace cocos2d;
using NSUI::NSDictionary;

namespace {

const char* kPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>name</key><string>Hot Iron</string>
  <key>count</key><integer>42</integer>
  <key>scale</key><real>2.5</real>
  <key>enabled</key><true/>
  <key>Red</key>
  <array><string>0</string><string>128</string><integer>255</integer></array>
  <key>en</key>
  <dict>
    <key>ok</key><string>OK</string>
    <key>rows</key>
    <array>
      <dict><key>title</key><string>first</string></dict>
      <dict><key>title</key><string>second</string></dict>
    </array>
  </dict>
  <key>empty</key><dict/>
</dict>
</plist>
)";

std::string text(Ref* object)
{
    auto* s = dynamic_cast<__String*>(object);
    return s ? s->getString() : "<not a string>";
}

class Dictionary : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

}  // namespace

TEST_F(Dictionary, FromPlistText)
{
    NSDictionary* d = NSDictionary::createWithData(kPlist);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->dictType, 1);
    EXPECT_EQ(text(d->objectForKey("name")), "Hot Iron");
    EXPECT_EQ(text(d->objectForKey("count")), "42");
    EXPECT_EQ(text(d->objectForKey("enabled")), "true");
    EXPECT_FLOAT_EQ(dynamic_cast<__String*>(d->objectForKey("scale"))->floatValue(), 2.5f);

    auto* red = dynamic_cast<__Array*>(d->objectForKey("Red"));
    ASSERT_NE(red, nullptr);
    ASSERT_EQ(red->count(), 3);
    EXPECT_EQ(dynamic_cast<__String*>(red->getObjectAtIndex(1))->intValue(), 128);
    EXPECT_EQ(text(red->getObjectAtIndex(2)), "255");

    auto* en = dynamic_cast<NSDictionary*>(d->objectForKey("en"));
    ASSERT_NE(en, nullptr);
    EXPECT_EQ(text(en->objectForKey("ok")), "OK");
    auto* rows = dynamic_cast<__Array*>(en->objectForKey("rows"));
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->count(), 2);
    auto* second = dynamic_cast<NSDictionary*>(rows->getObjectAtIndex(1));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(text(second->objectForKey("title")), "second");
    // Nested objects are held by their container only.
    EXPECT_EQ(en->getReferenceCount(), 1u);
    EXPECT_EQ(second->getReferenceCount(), 1u);

    auto* empty = dynamic_cast<NSDictionary*>(d->objectForKey("empty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->dictType, 0);
    for (const char* key : {"", "name", "x"})
        EXPECT_EQ(empty->objectForKey(key), nullptr);
    EXPECT_EQ(d->objectForKey("missing"), nullptr);
}

TEST_F(Dictionary, MalformedTextGivesAnEmptyDictionary)
{
    for (const char* bad : {"", "<plist><dict><key>a</key>", "not xml at all"}) {
        NSDictionary* d = NSDictionary::createWithData(bad);
        ASSERT_NE(d, nullptr) << bad;
        EXPECT_EQ(d->dictType, 0) << bad;
        EXPECT_EQ(d->objectForKey("a"), nullptr) << bad;
    }
}

TEST_F(Dictionary, ReferenceCountsOnSetAndReplace)
{
    auto* d = new NSDictionary();
    auto* a = new __String("a");
    auto* b = new __String("b");
    d->setObject(a, "k");
    EXPECT_EQ(a->getReferenceCount(), 2u);
    d->setObject(a, "k");  // the same object again: nothing changes
    EXPECT_EQ(a->getReferenceCount(), 2u);
    d->setObject(b, "k");
    EXPECT_EQ(a->getReferenceCount(), 1u);
    EXPECT_EQ(b->getReferenceCount(), 2u);
    EXPECT_EQ(d->objectForKey("k"), b);
    d->setObject(nullptr, "k");
    EXPECT_EQ(d->objectForKey("k"), b);
    d->release();
    EXPECT_EQ(b->getReferenceCount(), 1u);
    a->release();
    b->release();
}

TEST_F(Dictionary, LongKeysAreKeptWhole)
{
    auto* d = new NSDictionary();
    const std::string tail(256, 't');
    const std::string k1 = "first-" + tail, k2 = "second-" + tail;
    auto* v1 = new __String("1");
    auto* v2 = new __String("2");
    d->setObject(v1, k1);
    d->setObject(v2, k2);
    EXPECT_EQ(d->objectForKey(k1), v1);
    EXPECT_EQ(d->objectForKey(k2), v2);
    EXPECT_EQ(d->objectForKey(tail), nullptr);
    v1->release();
    v2->release();
    d->release();
}

TEST_F(Dictionary, CloneIsDeep)
{
    NSDictionary* d = NSDictionary::createWithData(kPlist);
    NSDictionary* c = d->clone();
    EXPECT_EQ(c->getReferenceCount(), 1u);
    EXPECT_EQ(c->dictType, 1);
    for (const char* key : {"name", "count", "Red", "en", "empty"}) {
        Ref* original = d->objectForKey(key);
        Ref* copy = c->objectForKey(key);
        ASSERT_NE(copy, nullptr) << key;
        EXPECT_NE(copy, original) << key;
        EXPECT_EQ(typeid(*copy), typeid(*original)) << key;
        EXPECT_EQ(copy->getReferenceCount(), 1u) << key;
    }
    EXPECT_EQ(text(c->objectForKey("name")), "Hot Iron");
    auto* rows = dynamic_cast<__Array*>(dynamic_cast<NSDictionary*>(c->objectForKey("en"))->objectForKey("rows"));
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(text(dynamic_cast<NSDictionary*>(rows->getObjectAtIndex(0))->objectForKey("title")), "first");
    c->release();

    auto* ints = new NSDictionary();
    auto* v = new __String("seven");
    ints->setObject(v, int64_t{7});
    EXPECT_EQ(ints->dictType, 2);
    NSDictionary* ic = ints->clone();
    EXPECT_EQ(ic->dictType, 2);
    ic->release();
    ints->release();
    v->release();
}

TEST_F(Dictionary, FromFile)
{
    const std::string file = testing::TempDir() + "nsdictionary-colours.plist";
    ASSERT_TRUE(FileUtils::getInstance()->writeStringToFile(kPlist, file));
    NSDictionary* d = NSDictionary::createWithContentsOfFile(file.c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->getReferenceCount(), 1u);  // the caller's, not autoreleased
    EXPECT_EQ(text(d->objectForKey("name")), "Hot Iron");
    d->release();

    NSDictionary* missing = NSDictionary::createWithContentsOfFile((file + ".missing").c_str());
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->objectForKey("name"), nullptr);
    missing->release();
    EXPECT_EQ(NSDictionary::createWithContentsOfFile(nullptr), nullptr);
    FileUtils::getInstance()->removeFile(file);
}
