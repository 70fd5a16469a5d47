// The viewer interface: what a holder may rely on before any viewer exists.
#include <gtest/gtest.h>

#include "imaging/core/isImageData.h"
#include "imaging/viewers/isViewer.h"

using namespace isImageSDK;

namespace {

// A viewer that overrides nothing.
class PlainViewer : public isViewer {};

}  // namespace

TEST(ViewerInterface, DefaultsOfAFreshViewer) {
  PlainViewer v;
  isViewer& i = v;
  EXPECT_EQ(i.viewKind, VIEW_KIND_NONE);
  EXPECT_EQ(i.viewKind, 7);
  EXPECT_TRUE(i.linked);
  EXPECT_EQ(i.getImageData(), nullptr);

  // The empty slots change nothing.
  isImageData* data = isImageData::create();
  i.setViewKind(VIEW_KIND_AXIAL);
  i.setImageData(data);
  i.setSecondImageData(data);
  i.setViewVisible(false);
  i.retainViewer();
  i.releaseViewer();
  EXPECT_EQ(i.viewKind, VIEW_KIND_NONE);
  EXPECT_EQ(i.getImageData(), nullptr);
  EXPECT_EQ(i.getSecondImageData(), nullptr);
  EXPECT_EQ(data->getReferenceCount(), 1u);
  data->release();
}

TEST(ViewerInterface, OverlayLabelOfEveryKind) {
  struct Case {
    int kind;
    const char* label;
  };
  const Case cases[] = {
      {0, "Slice"}, {1, "Axial"}, {2, "Sagittal"}, {3, "Coronal"}, {4, "Oblique"}, {5, "VR"},
      {6, "MIP"},   {7, "Slice"}, {8, "Slice"},    {-1, "Slice"},  {1000, "Slice"},
  };
  for (const Case& c : cases) EXPECT_STREQ(viewKindLabel(c.kind), c.label) << "kind " << c.kind;
}
