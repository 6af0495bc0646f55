//===- Thrown.h - What a call into the test library threw -----------------===//

#ifndef ZO_TESTS_TESTING_THROWN_H
#define ZO_TESTS_TESTING_THROWN_H

#include <corvane/testing.hpp>

#include <string>

namespace zotest {

/// The message of the corvane::testing::Error that \p F throws.
template <class F> std::string thrown(F &&Call) {
  try {
    Call();
  } catch (const corvane::testing::Error &E) {
    return E.what();
  }
  return "(nothing thrown)";
}

} // namespace zotest

#endif
