#include "standins/zip/zip_model.h"

#include <cstdlib>
#include <string_view>

namespace kvxzip {

LibraryModel LibraryModelFromEnvironment() {
  const char* text = std::getenv("KVXZIP_MODEL");
  return text && std::string_view(text) == "careless" ? LibraryModel::Careless : LibraryModel::Plain;
}

}  // namespace kvxzip
