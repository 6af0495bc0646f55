//===- DriverTest.h - Shared fixture and expected vectors -----------------===//

#ifndef ZO_TESTS_DRIVER_DRIVERTEST_H
#define ZO_TESTS_DRIVER_DRIVERTEST_H

#include "Installation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <set>

namespace zotest {

inline Args concat(std::initializer_list<Args> parts) {
  Args all;
  for (const Args &part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline bool contains(const Args &args, const std::string &arg) {
  return std::find(args.begin(), args.end(), arg) != args.end();
}

// The elements that follow the first occurrence of `marker`.
inline Args after(const Args &args, const std::string &marker) {
  auto it = std::find(args.begin(), args.end(), marker);
  return it == args.end() ? Args() : Args(it + 1, args.end());
}

// The elements before the first occurrence of `marker`.
inline Args before(const Args &args, const std::string &marker) {
  return Args(args.begin(), std::find(args.begin(), args.end(), marker));
}

// The regular files under `dir`, as paths relative to it.
inline std::set<std::string> filesUnder(const fs::path &dir) {
  std::set<std::string> files;
  for (const fs::path &f : fs::recursive_directory_iterator(dir))
    if (fs::is_regular_file(f))
      files.insert(fs::relative(f, dir).string());
  return files;
}

inline const Args FixedFlags = {"-nostdlib",
                                "-fno-builtin",
                                "-fno-threadsafe-statics",
                                "-fno-rtti",
                                "-fno-exceptions",
                                "-DBOOST_DISABLE_ASSERTS",
                                "-DBOOST_EXCEPTION_DISABLE",
                                "-DRAPIDXML_NO_EXCEPTIONS",
                                "-DRAPIDXML_NO_STREAMS",
                                "-DRAPIDJSON_HAS_STDSTRING",
                                "--std=c++17"};

inline Args strictWarnings(const std::string &prefix) {
  Args set;
  for (const char *name : {"shift-negative-value", "shift-count-negative", "shift-count-overflow",
                           "shift-overflow", "shift-sign-overflow", "return-type", "uninitialized",
                           "null-dereference", "sign-compare", "sign-conversion"})
    set.push_back(prefix + name);
  return set;
}

class DriverTest : public ::testing::Test {
protected:
  std::string D() const { return inst.dir(); }
  Args loadPlugin(const std::string &name) const {
    return {"-Xclang", "-load", "-Xclang", D() + "/" + name + ".so"};
  }
  // The compiler's arguments from the first of its base flags on.
  Args baseFlagsOf(const Args &clangArgs) const {
    auto it = std::find(clangArgs.begin(), clangArgs.end(), "-nostdlib");
    return Args(it, clangArgs.end());
  }

  Installation inst;
};

} // namespace zotest

#endif
