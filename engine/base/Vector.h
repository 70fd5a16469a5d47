// An ordered list of Ref-derived pointers that retains what it holds.
#pragma once

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "engine/base/Ref.h"

NS_CC_BEGIN

template <class T>
class Vector {
  static_assert(std::is_convertible<T, const Ref*>::value,
                "Vector holds pointers to Ref-derived objects");

 public:
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;
  using reverse_iterator = typename std::vector<T>::reverse_iterator;
  using const_reverse_iterator = typename std::vector<T>::const_reverse_iterator;

  Vector() = default;
  explicit Vector(ssize_t capacity) { reserve(capacity); }
  Vector(std::initializer_list<T> list) {
    for (T obj : list) pushBack(obj);
  }
  ~Vector() { clear(); }

  Vector(const Vector& other) : _data(other._data) { addRefForAllObjects(); }
  Vector(Vector&& other) noexcept : _data(std::move(other._data)) { other._data.clear(); }
  Vector& operator=(const Vector& other) {
    if (this != &other) {
      std::vector<T> old;
      old.swap(_data);
      _data = other._data;
      addRefForAllObjects();
      for (T obj : old) obj->release();
    }
    return *this;
  }
  Vector& operator=(Vector&& other) noexcept {
    if (this != &other) {
      clear();
      _data = std::move(other._data);
      other._data.clear();
    }
    return *this;
  }

  iterator begin() { return _data.begin(); }
  const_iterator begin() const { return _data.begin(); }
  iterator end() { return _data.end(); }
  const_iterator end() const { return _data.end(); }
  const_iterator cbegin() const { return _data.cbegin(); }
  const_iterator cend() const { return _data.cend(); }
  reverse_iterator rbegin() { return _data.rbegin(); }
  const_reverse_iterator rbegin() const { return _data.rbegin(); }
  reverse_iterator rend() { return _data.rend(); }
  const_reverse_iterator rend() const { return _data.rend(); }

  void reserve(ssize_t n) { _data.reserve(static_cast<size_t>(n)); }
  ssize_t capacity() const { return static_cast<ssize_t>(_data.capacity()); }
  ssize_t size() const { return static_cast<ssize_t>(_data.size()); }
  bool empty() const { return _data.empty(); }
  ssize_t max_size() const { return static_cast<ssize_t>(_data.max_size()); }

  // Index of the first occurrence, or CC_INVALID_INDEX (-1).
  ssize_t getIndex(T object) const {
    auto it = std::find(_data.begin(), _data.end(), object);
    return it == _data.end() ? CC_INVALID_INDEX : static_cast<ssize_t>(it - _data.begin());
  }
  const_iterator find(T object) const { return std::find(_data.begin(), _data.end(), object); }
  iterator find(T object) { return std::find(_data.begin(), _data.end(), object); }

  T at(ssize_t index) const { return _data.at(static_cast<size_t>(index)); }
  T front() const { return _data.front(); }
  T back() const { return _data.back(); }
  bool contains(T object) const { return find(object) != _data.end(); }
  const std::vector<T>& data() const { return _data; }

  bool equals(const Vector& other) const { return _data == other._data; }

  void pushBack(T object) {
    CCASSERT(object != nullptr, "Vector does not hold null");
    _data.push_back(object);
    object->retain();
  }
  void pushBack(const Vector<T>& other) {
    for (T obj : other._data) pushBack(obj);
  }
  void insert(ssize_t index, T object) {
    CCASSERT(object != nullptr, "Vector does not hold null");
    _data.insert(_data.begin() + index, object);
    object->retain();
  }

  void popBack() {
    T last = _data.back();
    _data.pop_back();
    last->release();
  }
  // Removes the first occurrence, or every occurrence when removeAll.
  void eraseObject(T object, bool removeAll = false) {
    if (removeAll) {
      for (auto it = _data.begin(); it != _data.end();) {
        if (*it == object) {
          it = _data.erase(it);
          object->release();
        } else {
          ++it;
        }
      }
    } else {
      auto it = std::find(_data.begin(), _data.end(), object);
      if (it != _data.end()) {
        _data.erase(it);
        object->release();
      }
    }
  }
  iterator erase(iterator position) {
    T obj = *position;
    auto next = _data.erase(position);
    obj->release();
    return next;
  }
  iterator erase(iterator first, iterator last) {
    std::vector<T> removed(first, last);
    auto next = _data.erase(first, last);
    for (T obj : removed) obj->release();
    return next;
  }
  iterator erase(ssize_t index) { return erase(_data.begin() + index); }

  void clear() {
    std::vector<T> old;
    old.swap(_data);
    for (T obj : old) obj->release();
  }

  void swap(T a, T b) {
    ssize_t ia = getIndex(a), ib = getIndex(b);
    if (ia >= 0 && ib >= 0) std::swap(_data[ia], _data[ib]);
  }
  void swap(ssize_t a, ssize_t b) { std::swap(_data.at(a), _data.at(b)); }
  void replace(ssize_t index, T object) {
    CCASSERT(object != nullptr, "Vector does not hold null");
    object->retain();
    T old = _data.at(index);
    _data[index] = object;
    old->release();
  }
  void reverse() { std::reverse(_data.begin(), _data.end()); }
  void shrinkToFit() { _data.shrink_to_fit(); }

 private:
  void addRefForAllObjects() {
    for (T obj : _data) obj->retain();
  }
  std::vector<T> _data;
};

NS_CC_END
