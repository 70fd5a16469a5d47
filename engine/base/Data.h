// An owned byte buffer.
#pragma once

#include <cstddef>
#include <string>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Data {
 public:
  static const Data Null;

  Data() = default;
  Data(const Data& other);
  Data(Data&& other) noexcept;
  ~Data();
  Data& operator=(const Data& other);
  Data& operator=(Data&& other) noexcept;

  unsigned char* getBytes() const { return _bytes; }
  ssize_t getSize() const { return _size; }
  // Copies size bytes.
  void copy(const unsigned char* bytes, ssize_t size);
  // Takes ownership of a malloc'ed buffer.
  void fastSet(unsigned char* bytes, ssize_t size);
  void clear();
  bool isNull() const { return _bytes == nullptr || _size == 0; }
  // Hands the buffer (malloc'ed) to the caller and leaves this Data empty.
  unsigned char* takeBuffer(ssize_t* size = nullptr);

 private:
  unsigned char* _bytes = nullptr;
  ssize_t _size = 0;
};

NS_CC_END
