//===- ContainerCampaign.cpp - Damaged containers end cleanly -------------===//
//
// Containers packed by ctrpack from a small contract are damaged where their
// readers look and sealed again (ContainerCorruptor.h), then handed to
// ctrpack --verify, --list and --extract and to ctrrun, which calls an
// action with a storage file.  Every run must end in success or in its
// tool's one-line error with a documented exit status: never a signal,
// never a file error about files that are fine, and never a changed storage
// file.  ctrpack and ctrrun read containers with one reader, so they must
// also agree on which containers are corrupt, and why.
//
// The seeds are fixed.  A failure names its variant and leaves it under
// campaign-failures/; ZO_CAMPAIGN_CASE=N runs that variant alone.
//
//===----------------------------------------------------------------------===//

#include "Campaign.h"
#include "ContainerCorruptor.h"
#include "Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace zotest {
namespace {

namespace fs = std::filesystem;

constexpr int Shards = 4;
constexpr uint64_t VariantsPerShard = 500;

// The contract answers a call with what storage holds under the call's
// whole input, and traps when it holds nothing.  It imports no host
// function that writes storage, so no damage to its code can make it write
// any: storage must stay as it is on every run.
const char Contract[] = R"((module
  (import "env" "corvane_input_size" (func $input_size (result i32)))
  (import "env" "corvane_input_read" (func $input_read (param i32 i32) (result i32)))
  (import "env" "corvane_output_write" (func $output_write (param i32 i32)))
  (import "env" "corvane_storage_get" (func $storage_get (param i32 i32 i32 i32) (result i32)))
  (memory (export "memory") 1)
  (data (i32.const 8192) "what storage holds, what storage holds, what storage holds")
  (func (export "apply") (local $n i32) (local $size i32)
    (local.set $n (call $input_read (i32.const 0) (call $input_size)))
    (local.set $size
      (call $storage_get (i32.const 0) (local.get $n) (i32.const 4096) (i32.const 4096)))
    (if (i32.lt_s (local.get $size) (i32.const 0)) (then unreachable))
    (call $output_write (i32.const 4096) (local.get $size))))
)";

// More than the contract answers: the reader checks every part of it.
const char Description[] =
    R"({"version": 1, "message": "reads what storage holds under its call",)"
    R"( "actions": [{"name": "peek", "params": [{"name": "key", "type": "string"}],)"
    R"( "result": "string"}, {"name": "tally", "params": [{"name": "poll", "type": "Poll"},)"
    R"( {"name": "weights", "type": "map<string,vector<uint64>>"}], "result": "map<uint32,bool>"}],)"
    R"( "structs": [{"name": "Poll", "fields": [{"name": "question", "type": "string"},)"
    R"( {"name": "votes", "type": "vector<int64>"}, {"name": "open", "type": "bool"}]}],)"
    R"( "tables": [{"name": "notes", "key": "string", "value": "Poll"}]})";

const char Names[] = "0 env.corvane_input_size import\n1 env.corvane_input_read import\n"
                     "2 env.corvane_output_write import\n3 env.corvane_storage_get import\n"
                     "4 apply export\n";

std::string str(const std::string &s) { return char(s.size()) + s; }
std::string le(uint64_t value, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i)
    out += char(value >> (8 * i));
  return out;
}

// The calls the campaign makes, their input as the contract sees it, and
// the stored answer.
struct ActionCall {
  std::string action, arguments, input, answer, printed;
};
const ActionCall Calls[] = {
    {"peek", R"({"key": "k"})", str("peek") + str("k"), str("hello"), "\"hello\"\n"},
    {"tally",
     R"({"poll": {"question": "lunch?", "votes": [3, -1], "open": true},)"
     R"( "weights": {"a": [1, 2]}})",
     str("tally") + str("lunch?") + "\x02" + le(3, 8) + le(-1, 8) + "\x01" + "\x01" + str("a") +
         "\x02" + le(1, 8) + le(2, 8),
     "\x01" + le(7, 4) + "\x01", "[[7,true]]\n"},
};

/// A module that stores every call's answer, run once to make the storage
/// file: so the file is in whatever form ctrrun keeps storage.
std::string storageWriter() {
  std::string wat = "(module\n  (import \"env\" \"corvane_storage_set\" (func $set (param i32 i32 "
                    "i32 i32)))\n  (memory (export \"memory\") 1)\n";
  std::string body;
  uint32_t at = 0;
  auto place = [&](const std::string &bytes) {
    std::string escaped;
    for (unsigned char c : bytes) {
      const char digits[] = "0123456789abcdef";
      escaped += std::string("\\") + digits[c >> 4] + digits[c & 15];
    }
    wat += "  (data (i32.const " + std::to_string(at) + ") \"" + escaped + "\")\n";
    std::string operands =
        "(i32.const " + std::to_string(at) + ") (i32.const " + std::to_string(bytes.size()) + ")";
    at += bytes.size();
    return operands;
  };
  for (const ActionCall &call : Calls) {
    std::string key = place(call.input);
    body += "    (call $set " + key + " " + place(call.answer) + ")\n";
  }
  return wat + "  (func (export \"apply\")\n" + body + "  ))\n";
}

// What the campaign holds storage to: the storage file, and nothing beside
// it (a run leaves no temporary file behind).  The one place that says how
// storage is compared: once ctrrun keeps storage other than as a JSON file,
// what `ctrrun --dump-storage FILE` prints stands in for the file's bytes.
std::string storageSnapshot(const fs::path &file) {
  std::set<std::string> names;
  for (const fs::directory_entry &e : fs::directory_iterator(file.parent_path()))
    names.insert(e.path().filename().string());
  std::string snapshot;
  for (const std::string &name : names)
    snapshot += name + "\n";
  return snapshot + "--\n" + readFile(file);
}

struct Base {
  const char *name;
  Args pack;
};

// Every shape of container ctrpack writes; the native image runs nowhere
// here, but ctrpack reads it.
const Base Bases[] = {
    {"plain", {"peek.wasm", "peek.abi"}},
    {"compressed with names", {"peek.wasm", "peek.abi", "peek.names", "-compress"}},
    {"jit", {"peek.wasm", "peek.abi", "-jit"}},
    {"native image", {"peek.aot", "peek.abi", "peek.names", "-compress", "peek.wasm", "-aot"}},
};

const std::set<int> CtrrunStatuses = {0, 1, 4, 5, 6, 7, 8, 9, 10, 11};

// The last line of standard error but for the call stack that follows a
// trap's or an abort's error line.
std::string errorLine(std::string text) {
  for (;;) {
    if (!text.empty() && text.back() == '\n')
      text.pop_back();
    size_t newline = text.rfind('\n');
    std::string line = newline == std::string::npos ? text : text.substr(newline + 1);
    if (newline == std::string::npos ||
        (line.rfind("  at #", 0) != 0 && line.rfind("  ... ", 0) != 0))
      return line;
    text.erase(newline);
  }
}

/// The error ctrpack printed, when it printed exactly one line about FILE.
std::optional<std::string> ctrpackError(const RunResult &r, const std::string &file) {
  std::string prefix = "ctrpack: " + file + ": ";
  if (r.err.rfind(prefix, 0) != 0 || r.err.find('\n') != r.err.size() - 1)
    return std::nullopt;
  return r.err.substr(prefix.size(), r.err.size() - prefix.size() - 1);
}

class ContainerCampaign : public ::testing::Test {
protected:
  void SetUp() override {
    writeFile(dir() / "peek.wat", Contract);
    writeFile(dir() / "peek.abi", Description);
    writeFile(dir() / "peek.names", Names);
    writeFile(dir() / "peek.aot", std::string("\0aot\3\0\0\0", 8) + std::string(512, 'n'));
    writeFile(dir() / "writer.wat", storageWriter());
    for (const char *name : {"peek", "writer"}) {
      RunResult r = runProcess(
          CTRRUN_WAT2WASM, {std::string(name) + ".wat", "-o", std::string(name) + ".wasm"}, dir());
      ASSERT_EQ(r.status, 0) << r.err;
    }
    for (const Base &base : Bases) {
      Args args = {"-o", std::string(base.name) + ".ctrx"};
      args.insert(args.end(), base.pack.begin(), base.pack.end());
      RunResult r = runProcess(CTRRUN_CTRPACK, args, dir());
      ASSERT_EQ(r.status, 0) << r.err;
      sound.push_back(readFile(dir() / (std::string(base.name) + ".ctrx")));
    }
    fs::create_directory(dir() / "store");
    RunResult r =
        runProcess(CTRRUN_PATH, {"--storage=" + storage().string(), "writer.wasm"}, dir());
    ASSERT_EQ(r.status, 0) << r.err;
    storageBefore = storageSnapshot(storage());
    fs::copy(storage().parent_path(), dir() / "store.pristine");
  }

  const fs::path &dir() const { return tmp.path(); }
  fs::path storage() const { return dir() / "store" / "storage"; }

  RunResult ctrrun(const Args &args) const {
    Args all = {"--storage=" + storage().string(), "--max-instructions=100000"};
    all.insert(all.end(), args.begin(), args.end());
    return runProcess(CTRRUN_PATH, all, dir());
  }
  RunResult ctrpack(const Args &args) const { return runProcess(CTRRUN_CTRPACK, args, dir()); }

  void runVariant(uint64_t seed);

  TempDir tmp{"ctrrun-campaign"};
  std::vector<std::string> sound;
  std::string storageBefore;
  std::map<int, int> statuses; // ctrrun's exit statuses, counted
  int refusedByReader = 0;
};

// Every shape of container, sound, runs both calls and answers as stored,
// and passes ctrpack --verify: the campaign starts from what works.
TEST_F(ContainerCampaign, SoundContainersRunAndVerify) {
  for (const Base &base : Bases) {
    SCOPED_TRACE(base.name);
    std::string file = std::string(base.name) + ".ctrx";
    EXPECT_EQ(ctrpack({"--verify", file}).status, 0);
    if (std::string(base.name) == "native image")
      continue;
    for (const ActionCall &call : Calls) {
      RunResult r = ctrrun({file, call.action, call.arguments});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, call.printed);
    }
  }
  EXPECT_EQ(storageSnapshot(storage()), storageBefore);
}

void ContainerCampaign::runVariant(uint64_t seed) {
  // Which container, which reading and which call, drawn apart from the
  // damage; the native image, which ctrrun only refuses, comes up least.
  std::mt19937_64 pick(~seed);
  const size_t baseChoices[] = {0, 0, 1, 1, 2, 2, 3};
  size_t baseIndex = baseChoices[pick() % std::size(baseChoices)];
  const Base &base = Bases[baseIndex];
  DamagedContainer damaged = damageContainer(sound[baseIndex], seed);
  const std::string file = "variant.ctrx";
  writeFile(dir() / file, damaged.bytes);

  std::vector<std::string> problems;
  std::ostringstream runs;
  auto record = [&](const Args &args, const RunResult &r) {
    runs << "\n  ";
    for (const std::string &a : args)
      runs << a.substr(0, 80) << " ";
    runs << "-> status " << r.status << "\n" << r.err.substr(0, 2000);
  };

  // ctrpack reads it three ways, with one verdict.
  Args verifyArgs = {"--verify", file};
  RunResult verify = ctrpack(verifyArgs);
  record(verifyArgs, verify);
  std::optional<std::string> verifyError = ctrpackError(verify, file);
  if (!(verify.status == 0 && verify.err.empty()) && !(verify.status == 1 && verifyError))
    problems.push_back("ctrpack --verify did not end in success or its one-line error");
  refusedByReader += verify.status == 1;
  uint64_t reading = pick() % 4;
  if (reading == 0) {
    Args listArgs = {"--list", file};
    RunResult list = ctrpack(listArgs);
    record(listArgs, list);
    if (list.status != verify.status)
      problems.push_back("ctrpack --list and --verify disagree");
    else if (list.status == 1 && (!ctrpackError(list, file) || !list.out.empty()))
      problems.push_back("ctrpack --list did not end in its one-line error alone");
    else if (list.status == 0 && list.out.rfind("flags: ", 0) != 0)
      problems.push_back("ctrpack --list did not list");
  } else if (reading == 1) {
    fs::path out = dir() / ("extracted-" + std::to_string(seed));
    Args extractArgs = {"--extract", file, out.filename().string()};
    RunResult extract = ctrpack(extractArgs);
    record(extractArgs, extract);
    bool wrote = fs::exists(out) && !fs::is_empty(out);
    if (extract.status != verify.status)
      problems.push_back("ctrpack --extract and --verify disagree");
    else if (extract.status == 1 && (!ctrpackError(extract, file) || wrote))
      problems.push_back("ctrpack --extract did not end in its one-line error alone");
    else if (extract.status == 0 && !wrote)
      problems.push_back("ctrpack --extract succeeded but wrote nothing");
    fs::remove_all(out);
  }

  // ctrrun calls an action, or describes the container.
  const ActionCall &call = Calls[pick() % std::size(Calls)];
  Args runArgs =
      pick() % 8 == 0 ? Args{"--describe", file} : Args{file, call.action, call.arguments};
  RunResult run = ctrrun(runArgs);
  record(runArgs, run);
  ++statuses[run.status];
  std::string last = errorLine(run.err);
  if (run.status < 0)
    problems.push_back("ctrrun was killed by a signal");
  else if (!CtrrunStatuses.count(run.status))
    problems.push_back("ctrrun ended with an undocumented or unwarranted status");
  else if (run.status != 0 && last.rfind("ctrrun: ", 0) != 0)
    problems.push_back("ctrrun's last line is not its error");
  if (storageSnapshot(storage()) != storageBefore)
    problems.push_back("the storage changed");

  // One reader: ctrrun refuses exactly what ctrpack refuses, for its reason.
  if (damaged.bytes.compare(0, 4, "CTRX") == 0 && verify.status == 1 && verifyError &&
      (run.status != 9 || last != "ctrrun: " + file + ": not a valid container: " + *verifyError))
    problems.push_back("ctrrun does not refuse a container ctrpack refuses, as ctrpack does");
  if (verify.status == 0 && run.err.find(": not a valid container: ") != std::string::npos)
    problems.push_back("ctrrun refuses a container ctrpack accepts");
  // And neither takes a description that is not JSON, or not strict JSON.
  using Refusal = DamagedContainer::Refusal;
  if (damaged.refusal == Refusal::EveryReader && verify.status != 1)
    problems.push_back("ctrpack --verify accepts a description that is not strict JSON");
  if (damaged.refusal != Refusal::None && damaged.bytes.compare(0, 4, "CTRX") == 0 &&
      run.status != 9)
    problems.push_back("ctrrun uses a description it must refuse");

  if (problems.empty())
    return;
  fs::path keep =
      fs::path(CTRRUN_CAMPAIGN_FAILURES) / ("variant-" + std::to_string(seed) + ".ctrx");
  fs::create_directories(keep.parent_path());
  writeFile(keep, damaged.bytes);
  std::ostringstream report;
  report << "variant " << seed << " (from the " << base.name << " container):";
  for (const std::string &step : damaged.steps)
    report << "\n  " << step;
  for (const std::string &p : problems)
    report << "\n  PROBLEM: " << p;
  ADD_FAILURE() << report.str() << runs.str() << "\n  kept: " << keep.string()
                << "\n  replay: ZO_CAMPAIGN_CASE=" << seed;
  // Later variants start from the storage as it was.
  fs::remove_all(storage().parent_path());
  fs::copy(dir() / "store.pristine", storage().parent_path());
}

class ContainerShard : public ContainerCampaign, public ::testing::WithParamInterface<int> {};

TEST_P(ContainerShard, DamagedContainersEndCleanly) {
  CaseRange cases = shardCases(GetParam(), VariantsPerShard);
  if (cases.empty())
    GTEST_SKIP() << "the variant ZO_CAMPAIGN_CASE names belongs to another shard";
  for (uint64_t seed = cases.first; seed <= cases.last; ++seed)
    runVariant(seed);

  std::cout << "variants " << cases.first << " to " << cases.last << ": " << refusedByReader
            << " refused by the container reader; ctrrun's exit statuses:";
  for (const auto &[status, count] : statuses)
    std::cout << " " << status << " x" << count;
  std::cout << "\n";
}

INSTANTIATE_TEST_SUITE_P(Shard, ContainerShard, ::testing::Range(0, Shards));

} // namespace
} // namespace zotest
