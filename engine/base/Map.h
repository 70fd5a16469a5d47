// A key -> Ref-derived pointer map that retains its values.
#pragma once

#include <unordered_map>
#include <vector>

#include "engine/base/Ref.h"

NS_CC_BEGIN

template <class K, class V>
class Map {
 public:
  using RefMap = std::unordered_map<K, V>;
  using iterator = typename RefMap::iterator;
  using const_iterator = typename RefMap::const_iterator;

  Map() = default;
  ~Map() { clear(); }
  Map(const Map& other) : _data(other._data) { addRefForAllObjects(); }
  Map(Map&& other) noexcept : _data(std::move(other._data)) { other._data.clear(); }
  Map& operator=(const Map& other) {
    if (this != &other) {
      RefMap old;
      old.swap(_data);
      _data = other._data;
      addRefForAllObjects();
      for (auto& kv : old) kv.second->release();
    }
    return *this;
  }
  Map& operator=(Map&& other) noexcept {
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

  ssize_t size() const { return static_cast<ssize_t>(_data.size()); }
  bool empty() const { return _data.empty(); }
  void reserve(ssize_t n) { _data.reserve(static_cast<size_t>(n)); }

  std::vector<K> keys() const {
    std::vector<K> out;
    out.reserve(_data.size());
    for (const auto& kv : _data) out.push_back(kv.first);
    return out;
  }
  std::vector<K> keys(V object) const {
    std::vector<K> out;
    for (const auto& kv : _data)
      if (kv.second == object) out.push_back(kv.first);
    return out;
  }

  // The value under key, or null.
  V at(const K& key) const {
    auto it = _data.find(key);
    return it == _data.end() ? nullptr : it->second;
  }
  iterator find(const K& key) { return _data.find(key); }
  const_iterator find(const K& key) const { return _data.find(key); }
  bool contains(const K& key) const { return _data.find(key) != _data.end(); }

  // Inserts or replaces the value under key.
  void insert(const K& key, V object) {
    CCASSERT(object != nullptr, "Map does not hold null");
    object->retain();
    auto it = _data.find(key);
    if (it != _data.end()) {
      V old = it->second;
      it->second = object;
      old->release();
    } else {
      _data.emplace(key, object);
    }
  }

  iterator erase(const_iterator position) {
    V obj = position->second;
    auto next = _data.erase(position);
    obj->release();
    return next;
  }
  size_t erase(const K& key) {
    auto it = _data.find(key);
    if (it == _data.end()) return 0;
    V obj = it->second;
    _data.erase(it);
    obj->release();
    return 1;
  }
  void erase(const std::vector<K>& keys) {
    for (const K& k : keys) erase(k);
  }
  void clear() {
    RefMap old;
    old.swap(_data);
    for (auto& kv : old) kv.second->release();
  }

 private:
  void addRefForAllObjects() {
    for (auto& kv : _data) kv.second->retain();
  }
  RefMap _data;
};

NS_CC_END
