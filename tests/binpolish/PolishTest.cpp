//===- PolishTest.cpp - What binpolish does to a module it accepts --------===//

#include "BinpolishTest.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace binpolishtest;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

TEST(Polish, ContractGetsSmallerLosesCustomSectionsKeepsInterface) {
  zotest::TempDir dir("binpolish-test");
  fs::path module = dir.path() / "contract.wasm";
  fs::copy_file(fixture("contract.wasm"), module);
  std::string before = sectionHeaders(module);
  for (const char *section : {"\"name\"", "\"producers\"", "\".debug_info\""})
    ASSERT_THAT(before, HasSubstr(section)) << "the fixture lacks it";

  zotest::RunResult r = polish(module);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  EXPECT_LT(fs::file_size(module), fs::file_size(fixture("contract.wasm")));
  EXPECT_THAT(sectionHeaders(module), Not(HasSubstr("Custom")));
  std::string details = wabtTool(BINPOLISH_WASM_OBJDUMP, {"-x", module.string()});
  EXPECT_THAT(details, HasSubstr("-> \"apply\""));
  EXPECT_THAT(details, HasSubstr("memory[0] -> \"memory\""));
  EXPECT_THAT(details, HasSubstr("<- env.emit"));
  wabtTool(BINPOLISH_WASM_VALIDATE, {module.string()});
  EXPECT_EQ(entries(dir.path()), std::set<std::string>{"contract.wasm"});
}

// wasm-validate's switches for every feature beyond MVP and mutable globals
// that it enables by default.
const zotest::Args SignExtensionAndSaturation = {"--disable-simd", "--disable-multi-value",
                                                 "--disable-bulk-memory",
                                                 "--disable-reference-types"};
zotest::Args noFeatures() {
  zotest::Args args = SignExtensionAndSaturation;
  args.insert(args.end(), {"--disable-sign-extension", "--disable-saturating-float-to-int"});
  return args;
}

struct FeatureCase {
  const char *fixture;
  zotest::Args validateFlags; // what the polished module may not use
};

void PrintTo(const FeatureCase &c, std::ostream *os) { *os << c.fixture; }

class Behaviour : public ::testing::TestWithParam<FeatureCase> {};

// Every export computes the same after polishing, and the polished module
// uses no feature the input did not: binaryen, if allowed, turns shift pairs
// into sign-extension operators.
TEST_P(Behaviour, ExportsComputeAlikeWithinTheInputsFeatures) {
  zotest::TempDir dir("binpolish-test");
  fs::path module = dir.path() / GetParam().fixture;
  fs::copy_file(fixture(GetParam().fixture), module);
  zotest::Args run = {"--run-all-exports", module.string()};
  std::string before = wabtTool(BINPOLISH_WASM_INTERP, run);
  ASSERT_THAT(before, HasSubstr("=>"));

  zotest::RunResult r = polish(module);
  ASSERT_EQ(r.status, 0) << r.err;

  EXPECT_EQ(wabtTool(BINPOLISH_WASM_INTERP, run), before);
  zotest::Args validate = GetParam().validateFlags;
  validate.push_back(module.string());
  wabtTool(BINPOLISH_WASM_VALIDATE, validate);
  EXPECT_THAT(sectionHeaders(module), Not(HasSubstr("Custom")));
}

INSTANTIATE_TEST_SUITE_P(Modules, Behaviour,
                         ::testing::Values(FeatureCase{"compute.wasm", noFeatures()},
                                           FeatureCase{"features.wasm",
                                                       SignExtensionAndSaturation}),
                         [](const ::testing::TestParamInfo<FeatureCase> &info) {
                           return fs::path(info.param.fixture).stem().string();
                         });

TEST(Polish, KeepsPermissionsOwnerAndSymbolicLinks) {
  zotest::TempDir dir("binpolish-test");
  fs::path real = dir.path() / "real.wasm", link = dir.path() / "link.wasm";
  fs::copy_file(fixture("contract.wasm"), real);
  fs::permissions(real, fs::perms(0750));
  bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
  }
  fs::create_symlink("real.wasm", link);

  zotest::RunResult r = polish(link);
  ASSERT_EQ(r.status, 0) << r.err;

  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_LT(fs::file_size(real), fs::file_size(fixture("contract.wasm")));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0750));
  struct stat st;
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"link.wasm", "real.wasm"}));
}

// The temporary file's name comes from a model in which '%' is special.
TEST(Polish, PathWithBlanksAndPercentSigns) {
  zotest::TempDir top("binpolish-test");
  fs::path dir = top.path() / "my contracts 100%";
  fs::create_directory(dir);
  fs::path module = dir / "hello world %%s.wasm";
  fs::copy_file(fixture("contract.wasm"), module);

  zotest::RunResult r = polish(module);
  ASSERT_EQ(r.status, 0) << r.err;

  EXPECT_LT(fs::file_size(module), fs::file_size(fixture("contract.wasm")));
  EXPECT_THAT(sectionHeaders(module), Not(HasSubstr("Custom")));
  EXPECT_EQ(entries(dir), std::set<std::string>{"hello world %%s.wasm"});
}

} // namespace
