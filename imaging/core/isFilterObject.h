// A node of the demand-driven imaging pipeline.
//
// A consumer asks its node to `update`; the request travels up the chain of
// inputs and every node recomputes only what was marked modified since its
// last update. Two separate marks let a consumer refresh the geometry
// (information) without touching the samples (data). Marks flow downstream
// through the consumer lists; recomputation is pulled upstream through the
// inputs. A node's output never holds a reference on its producer.
//
// Nodes are made with `create` and are not autoreleased: the creator holds the
// only reference and releases it.
#pragma once

#include <vector>

#include "imaging/core/isObject.h"

namespace isImageSDK {

class isFilterObject : public isObject {
 public:
  static isFilterObject* create();
  ~isFilterObject() override;

  // Detaches from the input, releases the output, clears both marks and
  // empties the consumer list.
  void clear() override;
  // Id -1, name empty, marks false, input and output null. The consumer list
  // is left as it is.
  bool init() override;

  // The output node, created on first demand (null for image data).
  virtual isFilterObject* getOutput();
  // Connects an upstream node (or null); sets both marks.
  virtual void setInput(isFilterObject* node);
  virtual void updateInformation();
  // True for the readers that start a chain.
  virtual bool isSource();
  virtual void updateData();
  // Creates the output node; called only when none exists yet.
  virtual void createOutput();

  // The pull: brings this node and everything upstream up to date.
  void update();
  bool isInformationModified();
  bool isDataModified();
  void addConsumer(isFilterObject* node);

  bool informationModified = false;
  bool dataModified = false;
  isFilterObject* input = nullptr;   // referenced unless this is input's output
  isFilterObject* output = nullptr;  // referenced
  std::vector<isFilterObject*> consumers;  // not referenced

 protected:
  isFilterObject() = default;
  // Removes a node from the consumer list (no reference involved).
  void removeConsumer(isFilterObject* node);
};

}  // namespace isImageSDK
