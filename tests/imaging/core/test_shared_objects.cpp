// The shared-object registry, the imaging shutdown and the window presets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/ProtocalList.h"
#include "imaging/core/isFilterObject.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isROIManager.h"
#include "imaging/core/isSharedObjects.h"
#include "imaging/core/isWindowPresets.h"

using namespace isImageSDK;

namespace {

// A reference-counted object that reports its destruction.
class Tracked : public cocos2d::Ref {
 public:
  explicit Tracked(int* deaths) : deaths_(deaths) {}
  ~Tracked() override { ++*deaths_; }

 private:
  int* deaths_;
};

isFilterObject* named(const char* name) {
  isFilterObject* node = isFilterObject::create();
  node->name = name;
  return node;
}

class SharedObjects : public ::testing::Test {
 protected:
  void TearDown() override { shutdown(); }
};

}  // namespace

TEST_F(SharedObjects, RegistryIsASingletonHoldingOneReferencePerObject) {
  isSharedObjects* registry = isSharedObjects::getInstance();
  ASSERT_NE(registry, nullptr);
  EXPECT_EQ(isSharedObjects::getInstance(), registry);

  isFilterObject* reader = named("1.2.840.1");
  registry->addObject(reader);
  registry->addObject(reader);  // the same object again: one entry, one reference
  EXPECT_EQ(registry->objects.size(), 1u);
  EXPECT_EQ(reader->getReferenceCount(), 2u);

  EXPECT_EQ(registry->getObjectByName("1.2.840.1"), reader);
  EXPECT_EQ(reader->getReferenceCount(), 2u) << "a look-up adds no reference";
  EXPECT_EQ(registry->getObjectByName("1.2.840"), nullptr) << "names are compared whole";
  EXPECT_EQ(registry->getObjectByName("unknown"), nullptr);

  registry->removeObjectByName("1.2.840.1");
  EXPECT_TRUE(registry->objects.empty());
  EXPECT_EQ(reader->getReferenceCount(), 1u);
  registry->removeObjectByName("1.2.840.1");  // nothing left of that name
  reader->release();
}

TEST_F(SharedObjects, ObjectsNamedAlikeAreFoundAndRemovedInRegistrationOrder) {
  isSharedObjects* registry = isSharedObjects::getInstance();
  isFilterObject* first = named("series");
  isFilterObject* second = named("series");
  isImageData* other = isImageData::create();
  other->name = "other";
  registry->addObject(first);
  registry->addObject(other);
  registry->addObject(second);
  EXPECT_EQ(registry->getObjectByName("series"), first);

  registry->removeObjectByName("series");
  EXPECT_EQ(first->getReferenceCount(), 1u);
  EXPECT_EQ(second->getReferenceCount(), 2u);
  EXPECT_EQ(registry->getObjectByName("series"), second);
  ASSERT_EQ(registry->objects.size(), 2u);
  EXPECT_EQ(registry->objects[0], other);
  first->release();
  second->release();
  other->release();
}

TEST_F(SharedObjects, ShutdownReleasesEverythingAndALaterUseStartsEmpty) {
  int deaths = 0;
  isImageData* image = isImageData::create();
  image->name = "1.2.3";
  isSharedObjects::getInstance()->addObject(image);
  image->release();  // the registry now holds the only reference

  isROIManager* rois = isROIManager::getInstance();
  auto* line = new Tracked(&deaths);
  rois->addROI(line);
  rois->addROI(line);
  line->release();
  auto* circle = new Tracked(&deaths);
  rois->addROI(circle);
  circle->release();
  EXPECT_EQ(rois->rois.size(), 2u);

  protocolList().push_back({"protocal/2dview.png", "Single view", "2dview"});
  protocolList().push_back({"protocal/mpr.png", "MPR", "mpr"});

  shutdown();
  EXPECT_EQ(deaths, 2) << "every measurement record was released";
  EXPECT_TRUE(protocolList().empty());

  isSharedObjects* registry = isSharedObjects::getInstance();
  ASSERT_NE(registry, nullptr);
  EXPECT_TRUE(registry->objects.empty());
  EXPECT_EQ(registry->getObjectByName("1.2.3"), nullptr);
  EXPECT_TRUE(isROIManager::getInstance()->rois.empty());

  shutdown();
  shutdown();  // nothing left to release: harmless
}

TEST(WindowPresets, PerModality) {
  struct Expect {
    const char* name;
    float centre, width;
  };
  const std::vector<Expect> ct = {{"Abdomen", 60, 400}, {"Angio", 300, 600}, {"Bone", 300, 1500},
                                  {"Brain", 40, 80},    {"Chest", 40, 400},  {"Lung", -400, 1500}};
  const std::vector<Expect> pt = {{"10K", 5000, 10000},   {"20K", 10000, 20000},   {"40K", 20000, 40000},
                                  {"80K", 40000, 80000},  {"160K", 80000, 160000}, {"320K", 160000, 320000}};
  const std::vector<Expect> generic = {{"20/40", 20, 40},         {"40/80", 40, 80},
                                       {"80/160", 80, 160},       {"160/320", 160, 320},
                                       {"320/640", 320, 640},     {"640/1280", 640, 1280},
                                       {"1280/2560", 1280, 2560}, {"2560/5120", 2560, 5120}};
  const struct {
    int modality;
    const std::vector<Expect>* expected;
  } cases[] = {{0, &ct}, {1, &pt}, {2, &generic}, {3, &generic}, {4, &generic},
               {5, &generic}, {6, &generic}, {7, &generic}, {-1, &generic}, {99, &generic}};
  for (const auto& c : cases) {
    std::vector<WindowPreset> presets = {{"stale", 1, 2}};
    getWindowPresets(c.modality, presets);
    ASSERT_EQ(presets.size(), c.expected->size()) << "modality " << c.modality;
    for (size_t i = 0; i < presets.size(); ++i) {
      const Expect& e = (*c.expected)[i];
      EXPECT_EQ(presets[i].name, e.name) << c.modality;
      EXPECT_EQ(presets[i].centre, e.centre) << e.name;
      EXPECT_EQ(presets[i].width, e.width) << e.name;
    }
  }
}
