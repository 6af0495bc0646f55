#include <registry/registry.hpp>

namespace registry {

bool valid_name(const std::string &name) {
  if (name.size() < 3 || name.size() > 32)
    return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
      return false;
  return true;
}

} // namespace registry
