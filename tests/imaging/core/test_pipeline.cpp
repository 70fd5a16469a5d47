// The demand-driven pipeline: modified marks, lazy outputs, references and
// the single-slice pass-through.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "imaging/core/isFilterObject.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isImageFilter.h"
#include "imaging/core/isImageSlice.h"

using namespace isImageSDK;

namespace {

// A source that fills its output with `slices` signed 16-bit slices of 4 × 3
// whose samples are value + slice index, and counts its work.
class FakeSource : public isImageFilter {
 public:
  static FakeSource* create() {
    auto* s = new FakeSource();
    s->init();
    return s;
  }
  void setValue(int16_t v) {
    value = v;
    informationModified = true;
    dataModified = true;
  }
  bool isSource() override { return true; }
  void updateInformation() override {
    if (!informationModified && !(input && input->isInformationModified())) return;
    isImageFilter::updateInformation();
    ++informationRuns;
    isImageData* out = getOutputImage();
    out->releaseSlices();
    out->reset();
    for (int i = 0; i < slices; ++i) {
      const int32_t size[2] = {4, 3};
      const float spacing[2] = {0.5f, 0.5f};
      cocos2d::Mat4 m;
      m.m[14] = static_cast<float>(i);
      SliceRecord* r = out->addSlice(size, 1, spacing, ELEMENT_INT16, 0, 0, m);
      auto* p = static_cast<int16_t*>(r->pixels);
      for (int k = 0; k < 12; ++k) p[k] = static_cast<int16_t>(value + i);
      r->windowWidth = 400;
      r->windowCenter = 40;
    }
  }
  void execute(isImageData*, isImageData*) override { ++executeRuns; }

  int16_t value = 100;
  int slices = 2;
  int informationRuns = 0;
  int executeRuns = 0;
};

// A filter that only counts its executions.
class CountingFilter : public isImageFilter {
 public:
  static CountingFilter* create() {
    auto* f = new CountingFilter();
    f->init();
    return f;
  }
  void execute(isImageData*, isImageData*) override { ++executeRuns; }
  int executeRuns = 0;
};

}  // namespace

TEST(Pipeline, CreateGivesInitialisedNodeWithOnlyTheCreatorsReference) {
  isFilterObject* node = isFilterObject::create();
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->getReferenceCount(), 1u);
  EXPECT_EQ(node->id, -1);
  EXPECT_EQ(node->getName(), "");
  EXPECT_FALSE(node->isInformationModified());
  EXPECT_FALSE(node->isDataModified());
  EXPECT_EQ(node->input, nullptr);
  EXPECT_EQ(node->output, nullptr);
  node->release();
}

TEST(Pipeline, UpdateWithoutInputOrMarksOnlyCreatesTheOutput) {
  CountingFilter* f = CountingFilter::create();
  EXPECT_EQ(f->output, nullptr);
  f->update();
  ASSERT_NE(f->output, nullptr);
  EXPECT_EQ(f->output, f->getOutputImage());
  EXPECT_EQ(f->executeRuns, 0);
  // The output knows its producer but holds no reference on it.
  EXPECT_EQ(f->output->input, f);
  EXPECT_EQ(f->getReferenceCount(), 1u);
  EXPECT_TRUE(f->consumers.empty());
  // A second call does not make another output.
  isFilterObject* first = f->output;
  EXPECT_EQ(f->getOutput(), first);
  f->release();
}

TEST(Pipeline, ImageDataHasNoOutput) {
  isImageData* image = isImageData::create();
  EXPECT_EQ(image->getOutput(), nullptr);
  image->update();
  EXPECT_EQ(image->output, nullptr);
  image->release();
}

TEST(Pipeline, SetInputReferencesTheInputAndListsTheConsumerOnce) {
  FakeSource* src = FakeSource::create();
  CountingFilter* f = CountingFilter::create();
  isImageData* image = src->getOutputImage();
  EXPECT_EQ(image->getReferenceCount(), 1u);

  f->setInputData(image);
  EXPECT_EQ(f->inputImage, image);
  EXPECT_EQ(f->input, image);
  EXPECT_EQ(image->getReferenceCount(), 2u);
  ASSERT_EQ(image->consumers.size(), 1u);
  EXPECT_EQ(image->consumers[0], f);

  f->setInputData(image);  // the same input again: nothing changes
  EXPECT_EQ(image->getReferenceCount(), 2u);
  EXPECT_EQ(image->consumers.size(), 1u);

  f->setInputData(nullptr);
  EXPECT_EQ(image->getReferenceCount(), 1u);
  EXPECT_TRUE(image->consumers.empty());
  EXPECT_EQ(f->inputImage, nullptr);
  f->release();
  src->release();
}

TEST(Pipeline, SameInputTwiceSetsNoMark) {
  FakeSource* src = FakeSource::create();
  CountingFilter* f = CountingFilter::create();
  f->setInputData(src->getOutputImage());
  f->update();
  ASSERT_FALSE(f->isInformationModified());
  ASSERT_FALSE(f->isDataModified());
  f->setInputData(src->getOutputImage());
  EXPECT_FALSE(f->informationModified);
  EXPECT_FALSE(f->dataModified);
  EXPECT_FALSE(f->isInformationModified());
  f->release();
  src->release();
}

TEST(Pipeline, MarksReachEveryNodeDownstreamUntilTheNextUpdate) {
  // src → image1 → a → image2 → b → image3
  FakeSource* src = FakeSource::create();
  CountingFilter* a = CountingFilter::create();
  CountingFilter* b = CountingFilter::create();
  a->setInputData(src->getOutputImage());
  b->setInputData(a->getOutputImage());
  isImageData* end = b->getOutputImage();
  end->update();
  EXPECT_EQ(a->executeRuns, 1);
  EXPECT_EQ(b->executeRuns, 1);

  struct Node {
    const char* what;
    isFilterObject* node;
  };
  const Node chain[] = {{"source", src},    {"image1", src->getOutputImage()},
                        {"a", a},           {"image2", a->getOutputImage()},
                        {"b", b},           {"image3", end}};
  for (const Node& n : chain) {
    EXPECT_FALSE(n.node->isInformationModified()) << n.what;
    EXPECT_FALSE(n.node->isDataModified()) << n.what;
  }

  src->setValue(7);  // a reader's setter marks the head of the chain
  for (const Node& n : chain) {
    EXPECT_TRUE(n.node->isInformationModified()) << n.what;
    EXPECT_TRUE(n.node->isDataModified()) << n.what;
  }

  end->update();
  for (const Node& n : chain) {
    EXPECT_FALSE(n.node->isInformationModified()) << n.what;
    EXPECT_FALSE(n.node->isDataModified()) << n.what;
  }
  EXPECT_EQ(a->executeRuns, 2);
  EXPECT_EQ(b->executeRuns, 2);
  b->release();
  a->release();
  src->release();
}

TEST(Pipeline, ExecuteRunsOnlyWhenDataIsModifiedHereOrUpstream) {
  FakeSource* src = FakeSource::create();
  CountingFilter* f = CountingFilter::create();
  f->setInputData(src->getOutputImage());

  f->update();
  EXPECT_EQ(f->executeRuns, 1);
  f->update();
  f->getOutputImage()->update();
  EXPECT_EQ(f->executeRuns, 1) << "nothing changed, nothing recomputed";

  f->dataModified = true;  // this node's own data mark
  f->update();
  EXPECT_EQ(f->executeRuns, 2);

  src->dataModified = true;  // a mark upstream only
  f->getOutputImage()->update();
  EXPECT_EQ(f->executeRuns, 3);

  // Information alone does not recompute data.
  src->informationModified = true;
  f->update();
  EXPECT_EQ(f->executeRuns, 3);
  EXPECT_FALSE(f->isInformationModified());
  f->release();
  src->release();
}

TEST(Pipeline, ClearDetachesFromBothSidesAndLeavesTheOutputWithoutProducer) {
  FakeSource* src = FakeSource::create();
  CountingFilter* f = CountingFilter::create();
  isImageData* in = src->getOutputImage();
  f->setInputData(in);
  f->update();
  isImageData* out = f->getOutputImage();
  out->retain();  // a viewer keeps the last result
  ASSERT_EQ(in->getReferenceCount(), 2u);

  f->clear();
  EXPECT_EQ(out->input, nullptr);
  EXPECT_EQ(f->input, nullptr);
  EXPECT_EQ(f->output, nullptr);
  EXPECT_EQ(f->inputImage, nullptr);
  EXPECT_EQ(f->outputImage, nullptr);
  EXPECT_TRUE(in->consumers.empty());
  EXPECT_EQ(in->getReferenceCount(), 1u);
  EXPECT_EQ(out->getReferenceCount(), 1u);
  EXPECT_EQ(out->getSliceCount(), 0);  // it keeps what it had (nothing ran)

  f->release();
  out->release();
  src->release();
}

TEST(Pipeline, DestroyingAProducerKeepsItsOutputsLastContent) {
  FakeSource* src = FakeSource::create();
  src->setValue(5);
  isImageData* image = src->getOutputImage();
  image->retain();
  image->update();
  ASSERT_EQ(image->getSliceCount(), 2);
  src->release();
  EXPECT_EQ(image->input, nullptr);
  ASSERT_EQ(image->getSliceCount(), 2);
  EXPECT_EQ(static_cast<int16_t*>(image->getSlice(1)->pixels)[0], 6);
  image->release();
}

TEST(Pipeline, ImageSlicePassesTheFirstSliceThrough) {
  FakeSource* src = FakeSource::create();
  src->setValue(100);
  isImageSlice* slice = isImageSlice::create();
  slice->setInputData(src->getOutputImage());
  isImageData* out = slice->getOutputImage();

  SliceRecord* r = out->getSlice(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(out->getSliceCount(), 1);
  EXPECT_EQ(r->width, 4);
  EXPECT_EQ(r->height, 3);
  EXPECT_FLOAT_EQ(r->windowWidth, 400.0f);
  const auto* p = static_cast<const int16_t*>(r->pixels);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(p[k], 100);

  // New samples upstream reach the output on the next pull.
  src->setValue(-3);
  r = out->getSlice(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(static_cast<const int16_t*>(r->pixels)[11], -3);
  EXPECT_EQ(out->getSliceCount(), 1);

  // An empty input gives an empty output.
  src->slices = 0;
  src->setValue(1);
  EXPECT_EQ(out->getSlice(0), nullptr);
  EXPECT_EQ(out->getSliceCount(), 0);
  slice->release();
  src->release();
}
