//===- CtrpackTest.h - Running ctrpack on a small contract's files --------===//

#ifndef ZO_TESTS_CTRPACK_CTRPACKTEST_H
#define ZO_TESTS_CTRPACK_CTRPACKTEST_H

#include "Process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace ctrpacktest {

namespace fs = std::filesystem;

inline zotest::RunResult ctrpack(const zotest::Args &args, const fs::path &cwd) {
  return zotest::runProcess(CTRPACK_PATH, args, cwd);
}

inline std::set<std::string> entries(const fs::path &dir) {
  std::set<std::string> names;
  for (const fs::directory_entry &e : fs::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

inline std::string repeat(const std::string &piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

/// SHA-256 of \p bytes in lower-case hex, from coreutils' sha256sum: the
/// tests do not take the tool's own word for it.
inline std::string sha256Hex(const std::string &bytes) {
  zotest::TempDir dir("ctrpack-sha");
  zotest::writeFile(dir.path() / "data", bytes);
  zotest::RunResult r = zotest::runProcess(CTRPACK_SHA256SUM, {"data"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out.substr(0, 64);
}

/// The inputs zo++ hands ctrpack, written into a directory whose name has a
/// blank and a '%' in it.  Arguments name them by role: WASM (the linked
/// module), AOT (a native image), ABI, NAMES, OUT (the container), and
/// MISSING and NODIR, which do not exist.
class Workspace {
public:
  Workspace() : tmp("ctrpack-test"), dir(tmp.path() / "build %d dir") {
    fs::create_directory(dir);
    files["WASM"] = dir / "token.wasm";
    files["AOT"] = dir / "token.aot";
    files["ABI"] = dir / "token.abi";
    files["NAMES"] = dir / "token.names";
    files["OUT"] = dir / "token.ctrx";
    files["MISSING"] = dir / "missing.wasm";
    files["NODIR"] = dir / "no such dir" / "token.ctrx";
    fs::copy_file(fs::path(CTRPACK_FIXTURES) / "contract.wasm", files["WASM"]);
    fs::copy_file(fs::path(CTRPACK_SOURCE_FIXTURES) / "contract.abi", files["ABI"]);
    zotest::writeFile(files["NAMES"], "0 send_inline import\n1 checksum\n2 apply export\n");
    // Only its magic makes this a native image to ctrpack; the rest
    // compresses well, like real machine code.
    zotest::writeFile(files["AOT"], std::string("\0aot\3\0\0\0", 8) +
                                        repeat("native code of the contract ", 100));
  }

  const fs::path &path() const { return dir; }
  fs::path operator[](const std::string &role) const { return files.at(role); }
  std::string bytes(const std::string &role) const { return zotest::readFile(files.at(role)); }

  /// \p args with every role replaced by its file.
  zotest::Args resolve(const zotest::Args &args) const {
    zotest::Args out;
    for (const std::string &a : args) {
      auto it = files.find(a);
      out.push_back(it == files.end() ? a : it->second.string());
    }
    return out;
  }

  zotest::RunResult run(const zotest::Args &args) const { return ctrpack(resolve(args), dir); }

private:
  zotest::TempDir tmp;
  fs::path dir;
  std::map<std::string, fs::path> files;
};

/// One line of ctrpack --list about a section.
struct Listed {
  std::string kind;
  uint64_t stored = 0;
  uint64_t original = 0;
  std::string encoding;
  std::string sha256;
};

/// Splits ctrpack --list output into its flags and its section lines.
inline std::vector<Listed> parseList(const std::string &out, std::string &flags) {
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  flags = line;
  std::vector<Listed> sections;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Listed s;
    std::string extra;
    fields >> s.kind >> s.stored >> s.original >> s.encoding >> s.sha256;
    EXPECT_TRUE(fields && !(fields >> extra)) << "malformed line: " << line;
    sections.push_back(s);
  }
  return sections;
}

} // namespace ctrpacktest

#endif
