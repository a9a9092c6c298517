// Adds files and folders from disk to an image: a file into the root, a folder under
// its own name at the root with everything it holds.
#pragma once

#include <functional>
#include <string>

#include "burner/image_layout.h"

namespace kvx {

class TreeAdder {
 public:
  // Failure receives one text per path that could not be added.
  TreeAdder(ImageLayout& layout, std::function<void(const std::string&)> failure);

  void AddPath(std::string path);
  bool Failed() const { return failed_; }

 private:
  void AddFolder(TISODirectory* dir, const std::string& path);
  void Fail(const std::string& text);

  ImageLayout& layout_;
  std::function<void(const std::string&)> failure_;
  bool failed_ = false;
};

}  // namespace kvx
