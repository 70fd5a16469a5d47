#include "imaging/core/isFilterObject.h"

#include <algorithm>
#include <new>

namespace isImageSDK {

isFilterObject* isFilterObject::create() { return initCreated(new (std::nothrow) isFilterObject()); }

isFilterObject::~isFilterObject() { isFilterObject::clear(); }

bool isFilterObject::init() {
  id = -1;
  name.clear();
  informationModified = false;
  dataModified = false;
  input = nullptr;
  output = nullptr;
  return true;
}

void isFilterObject::clear() {
  if (input) {
    isFilterObject* old = input;
    input = nullptr;
    old->removeConsumer(this);
    if (old->output != this) old->release();
  }
  if (output) {
    isFilterObject* out = output;
    output = nullptr;
    // The output keeps its content but no longer has a producer.
    out->input = nullptr;
    out->release();
  }
  informationModified = false;
  dataModified = false;
  consumers.clear();
}

isFilterObject* isFilterObject::getOutput() {
  if (!output) createOutput();
  return output;
}

void isFilterObject::createOutput() {
  isFilterObject* out = isFilterObject::create();
  if (!out) return;
  // Set before connecting, so that the output recognises itself as ours and
  // holds no reference on its producer.
  output = out;
  out->setInput(this);
}

void isFilterObject::setInput(isFilterObject* node) {
  if (node == input || node == this) return;
  if (input) {
    isFilterObject* old = input;
    input = nullptr;
    old->removeConsumer(this);
    if (old->output != this) old->release();
  }
  if (node && node->getOutput() != this) node->retain();
  input = node;
  informationModified = true;
  dataModified = true;
  if (node) node->addConsumer(this);
}

bool isFilterObject::isSource() { return false; }

bool isFilterObject::isInformationModified() {
  // Walked iteratively: chains are short, but a loop must not overflow the stack.
  for (isFilterObject* n = this; n; n = n->input) {
    if (n->informationModified) return true;
  }
  return false;
}

bool isFilterObject::isDataModified() {
  for (isFilterObject* n = this; n; n = n->input) {
    if (n->dataModified) return true;
  }
  return false;
}

void isFilterObject::addConsumer(isFilterObject* node) {
  if (!node || node == output) return;
  if (std::find(consumers.begin(), consumers.end(), node) != consumers.end()) return;
  consumers.push_back(node);
}

void isFilterObject::removeConsumer(isFilterObject* node) {
  auto it = std::find(consumers.begin(), consumers.end(), node);
  if (it != consumers.end()) consumers.erase(it);
}

void isFilterObject::update() {
  const bool info = isInformationModified();
  const bool data = isDataModified();
  if (input) input->update();
  getOutput();
  if (info) {
    informationModified = true;
    updateInformation();
  }
  if (data) {
    dataModified = true;
    updateData();
  }
}

void isFilterObject::updateInformation() {
  if (!informationModified && !(input && input->isInformationModified())) return;
  if (input) input->updateInformation();
  informationModified = false;
  for (isFilterObject* c : consumers) c->informationModified = true;
}

void isFilterObject::updateData() {
  if (!dataModified && !(input && input->isDataModified())) return;
  if (input) input->updateData();
  getOutput();
  dataModified = false;
  for (isFilterObject* c : consumers) c->dataModified = true;
}

}  // namespace isImageSDK
