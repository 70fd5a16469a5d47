#pragma once

#include <string>

// A fresh folder under the system temporary folder, removed with its
// content on destruction. path ends with '/'.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
};

// Writes content to path, creating missing folders.
void writeFile(const std::string& path, const std::string& content);
