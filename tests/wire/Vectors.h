//===- Vectors.h - The wire-format vectors of vectors.txt ------*- C++ -*-===//

#ifndef ZO_TESTS_WIRE_VECTORS_H
#define ZO_TESTS_WIRE_VECTORS_H

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zotest {

struct WireVector {
  std::string Type;
  /// The value as the runner prints it; empty for bytes to refuse.
  std::string Json;
  std::string Bytes;
  int Line;

  bool malformed() const { return Json.empty(); }
};

inline std::vector<WireVector> readWireVectors(const std::string &Path) {
  std::ifstream In(Path);
  if (!In)
    throw std::runtime_error("cannot read " + Path);
  std::vector<WireVector> Vectors;
  std::string Line;
  for (int Number = 1; std::getline(In, Line); ++Number) {
    if (Line.empty() || Line[0] == '#')
      continue;
    size_t Tab1 = Line.find('\t'), Tab2 = Line.find('\t', Tab1 + 1);
    if (Tab1 == std::string::npos || Tab2 == std::string::npos)
      throw std::runtime_error(Path + ":" + std::to_string(Number) + ": expected three fields");
    WireVector V{Line.substr(0, Tab1), Line.substr(Tab1 + 1, Tab2 - Tab1 - 1), "", Number};
    if (V.Json == "!")
      V.Json.clear();
    std::string Hex = Line.substr(Tab2 + 1);
    for (size_t I = 0; I + 1 < Hex.size(); I += 2)
      V.Bytes.push_back(char(std::stoi(Hex.substr(I, 2), nullptr, 16)));
    Vectors.push_back(std::move(V));
  }
  return Vectors;
}

/// The vector's bytes in hex, for messages.
inline std::string hexOf(const std::string &Bytes) {
  std::ostringstream OS;
  for (unsigned char C : Bytes)
    OS << "0123456789abcdef"[C >> 4] << "0123456789abcdef"[C & 15];
  return OS.str();
}

} // namespace zotest

#endif
