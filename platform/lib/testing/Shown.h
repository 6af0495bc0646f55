//===- Shown.h - Values as the library's messages show them ---------------===//

#ifndef CORVANE_TESTING_SHOWN_H
#define CORVANE_TESTING_SHOWN_H

#include "corvane/testing.hpp"

#include <string>

namespace corvane::testing {

/// \p V as compact JSON, cut short for a one-line message.
std::string shown(const Value &V);

} // namespace corvane::testing

#endif
