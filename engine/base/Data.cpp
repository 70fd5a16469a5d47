#include "engine/base/Data.h"

#include <cstdlib>
#include <cstring>

NS_CC_BEGIN

const Data Data::Null;

Data::Data(const Data& other) { copy(other._bytes, other._size); }
Data::Data(Data&& other) noexcept : _bytes(other._bytes), _size(other._size) {
  other._bytes = nullptr;
  other._size = 0;
}
Data::~Data() { clear(); }

Data& Data::operator=(const Data& other) {
  if (this != &other) copy(other._bytes, other._size);
  return *this;
}

Data& Data::operator=(Data&& other) noexcept {
  if (this != &other) {
    clear();
    _bytes = other._bytes;
    _size = other._size;
    other._bytes = nullptr;
    other._size = 0;
  }
  return *this;
}

void Data::copy(const unsigned char* bytes, ssize_t size) {
  unsigned char* fresh = nullptr;
  if (bytes && size > 0) {
    fresh = static_cast<unsigned char*>(malloc(static_cast<size_t>(size)));
    if (!fresh) size = 0;
    else memcpy(fresh, bytes, static_cast<size_t>(size));
  } else {
    size = 0;
  }
  clear();
  _bytes = fresh;
  _size = size;
}

void Data::fastSet(unsigned char* bytes, ssize_t size) {
  if (bytes == _bytes) {
    _size = bytes ? size : 0;
    return;
  }
  clear();
  _bytes = bytes;
  _size = bytes ? size : 0;
}

void Data::clear() {
  free(_bytes);
  _bytes = nullptr;
  _size = 0;
}

unsigned char* Data::takeBuffer(ssize_t* size) {
  unsigned char* b = _bytes;
  if (size) *size = _size;
  _bytes = nullptr;
  _size = 0;
  return b;
}

NS_CC_END
