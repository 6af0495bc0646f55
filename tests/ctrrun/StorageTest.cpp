//===- StorageTest.cpp - The store under concurrent, killed and old runs --===//

#include "CtrrunTest.h"

#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

namespace zotest {
namespace {

using ::testing::HasSubstr;

// Input: a recipient key and an amount, "b1" or "c*" (everything).  Moves
// the amount from the 4-byte balance under "a" to the recipient's and
// writes "ok", or aborts when "a" holds too little.
const char Transfer[] = R"(
  (data (i32.const 200) "a")
  (data (i32.const 300) "insufficient")
  (func $balance (param $key i32) (param $at i32)
    (drop (call $storage_get (local.get $key) (i32.const 1) (local.get $at) (i32.const 4))))
  (func (export "apply") (local $amount i32) (local $a i32)
    (drop (call $read_input))
    (call $balance (i32.const 200) (i32.const 100))
    (call $balance (i32.const 0) (i32.const 104))
    (local.set $a (i32.load (i32.const 100)))
    (local.set $amount
      (if (result i32) (i32.eq (i32.load8_u (i32.const 1)) (i32.const 0x2a))
        (then (local.get $a))
        (else (i32.sub (i32.load8_u (i32.const 1)) (i32.const 0x30)))))
    (if (i32.or (i32.eqz (local.get $amount)) (i32.lt_u (local.get $a) (local.get $amount)))
      (then (call $abort (i32.const 300) (i32.const 12))))
    (i32.store (i32.const 100) (i32.sub (local.get $a) (local.get $amount)))
    (i32.store (i32.const 104) (i32.add (i32.load (i32.const 104)) (local.get $amount)))
    (call $storage_set (i32.const 200) (i32.const 1) (i32.const 100) (i32.const 4))
    (call $storage_set (i32.const 0) (i32.const 1) (i32.const 104) (i32.const 4))
    (call $output_write (i32.const 400) (i32.const 2)))
  (data (i32.const 400) "ok")
)";

// The 4-byte balances in a store's dump, by one-letter key.
std::map<char, uint32_t> balances(const std::string &dump) {
  std::map<char, uint32_t> result;
  std::regex entry("\"([0-9a-f]{2})\": \"([0-9a-f]{8})\"");
  for (std::sregex_iterator it(dump.begin(), dump.end(), entry), end; it != end; ++it) {
    uint32_t value = std::stoul((*it)[2], nullptr, 16);
    result[char(std::stoi((*it)[1], nullptr, 16))] = __builtin_bswap32(value);
  }
  return result;
}

// Runs `count` calls with the input `inputs[i % size]` at once; returns how
// many ended with each exit status.
std::map<int, int> runConcurrently(const fs::path &dir, const std::string &module, int count,
                                   const std::vector<std::string> &inputs) {
  std::string script;
  for (int i = 0; i < count; ++i)
    script += "(\"$0\" --storage=s.db " + module + " " + inputs[i % inputs.size()] +
              " >/dev/null 2>>errors; echo $? >status." + std::to_string(i) + ") &\n";
  script += "wait\n";
  RunResult r = runProcess("/bin/sh", {"-c", script, CTRRUN_PATH}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<int, int> statuses;
  for (int i = 0; i < count; ++i) {
    fs::path file = dir / ("status." + std::to_string(i));
    ++statuses[std::stoi(readFile(file))];
    fs::remove(file);
  }
  return statuses;
}

// Every call holds the store from its first read to its commit: no
// success is lost, and no balance is spent twice.
TEST_F(CtrrunTest, ConcurrentCallsAreSerialised) {
  std::string module = wasm("transfer", contract(Transfer));
  writeFile(dir() / "s.db", R"({"61": "1e000000"})"); // a: 30
  std::map<int, int> statuses = runConcurrently(dir(), module, 50, {"b1"});
  EXPECT_EQ(statuses, (std::map<int, int>{{0, 30}, {7, 20}})) << readFile(dir() / "errors");
  EXPECT_EQ(balances(storage("s.db")), (std::map<char, uint32_t>{{'a', 0}, {'b', 30}}));

  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    fs::remove(dir() / "s.db");
    writeFile(dir() / "s.db", R"({"61": "64000000"})"); // a: 100
    statuses = runConcurrently(dir(), module, 2, {"b*", "c*"});
    EXPECT_EQ(statuses, (std::map<int, int>{{0, 1}, {7, 1}}));
    std::map<char, uint32_t> after = balances(storage("s.db"));
    EXPECT_EQ(after['a'], 0u);
    EXPECT_EQ(after['b'] + after['c'], 100u);
    EXPECT_EQ(after['b'] * after['c'], 0u);
  }
}

// A run that cannot get the store in time fails and changes nothing.
TEST_F(CtrrunTest, ALockedStoreFailsAfterTheTimeout) {
  std::string module = wasm("transfer", contract(Transfer));
  writeFile(dir() / "s.db", R"({"61": "0a000000"})");
  ASSERT_EQ(ctrrun({"--storage=s.db", module, "b1"}).status, 0);
  std::string before = storage("s.db");
  const char *holder = "import sqlite3, sys, time\n"
                       "c = sqlite3.connect('s.db', isolation_level=None)\n"
                       "c.execute('BEGIN IMMEDIATE')\n"
                       "open('locked', 'w').close()\n"
                       "time.sleep(10)\n";
  std::string script = std::string("python3 -c \"$1\" & holder=$!\n") +
                       "while [ ! -e locked ]; do sleep 0.05; done\n"
                       "\"$0\" --lock-timeout=300 --storage=s.db " +
                       module +
                       " b1\n"
                       "status=$?\nkill $holder\nexit $status\n";
  RunResult r = runProcess("/bin/sh", {"-c", script, CTRRUN_PATH, holder}, dir());
  EXPECT_EQ(r.status, 12);
  EXPECT_EQ(r.err, "ctrrun: s.db: the store is in use by another run; gave up after 300 ms\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(storage("s.db"), before);
  EXPECT_EQ(ctrrun({"--storage=s.db", module, "b1"}).status, 0);
}

// A store in the text format is imported on first use, its text kept
// beside it; other files are refused and left alone.
TEST_F(CtrrunTest, TextStoresAreImportedAndKept) {
  std::string module = wasm("transfer", contract(Transfer));
  const std::string text = "{ \"61\": \"0A000000\",\n  \"ff00\": \"\" }";
  writeFile(dir() / "s.json", text);
  const std::string dump = "{\n  \"61\": \"0a000000\",\n  \"ff00\": \"\"\n}\n";
  EXPECT_EQ(storage("s.json"), dump);
  EXPECT_EQ(readFile(dir() / "s.json"), text) << "dumping changed the store";

  EXPECT_EQ(ctrrun({"--storage=s.json", module, "b9", "extra"}).status, 1);
  EXPECT_EQ(readFile(dir() / "s.json"), text) << "a usage error reached the store";
  EXPECT_EQ(ctrrun({"--storage=s.json", module, "b*"}).status, 0);
  EXPECT_EQ(readFile(dir() / "s.json.orig"), text);
  EXPECT_EQ(storage("s.json"), "{\n  \"61\": \"00000000\",\n  \"62\": \"0a000000\",\n  \"ff00\": "
                               "\"\"\n}\n");
  // Text written over the store again is imported again, the first text
  // kept; a call that fails imports too.
  writeFile(dir() / "s.json", "{}");
  EXPECT_EQ(ctrrun({"--storage=s.json", module, "b1"}).status, 7);
  EXPECT_EQ(readFile(dir() / "s.json.orig"), text);
  EXPECT_EQ(readFile(dir() / "s.json.orig.1"), "{}");
  EXPECT_EQ(storage("s.json"), "{}\n");

  // Wherever the text is, whatever its directory is called.
  fs::create_directory(dir() / "p%d");
  writeFile(dir() / "p%d" / "s.json", text);
  EXPECT_EQ(ctrrun({"--storage=p%d/s.json", module, "b1"}).status, 0);
  EXPECT_EQ(storage("p%d/s.json"),
            "{\n  \"61\": \"09000000\",\n  \"62\": \"01000000\",\n  \"ff00\": \"\"\n}\n");
  EXPECT_EQ(readFile(dir() / "p%d" / "s.json.orig"), text);

  // An empty file is an empty store.
  writeFile(dir() / "empty.db", "");
  EXPECT_EQ(storage("empty.db"), "{}\n");

  struct Case {
    const char *name, *sql, *message;
  } refused[] = {
      {"other.db", "CREATE TABLE t(x)",
       "malformed storage file: an SQLite database that is not a contract store"},
      {"newer.db",
       "CREATE TABLE entries(key BLOB PRIMARY KEY, value BLOB); PRAGMA application_id = "
       "1517245300; PRAGMA user_version = 2",
       "malformed storage file: store format version 2 is not supported"},
  };
  for (const Case &c : refused) {
    SCOPED_TRACE(c.name);
    RunResult made =
        runProcess("/usr/bin/env",
                   {"python3", "-c",
                    "import sqlite3, sys; sqlite3.connect(sys.argv[1]).executescript(sys.argv[2])",
                    c.name, c.sql},
                   dir());
    ASSERT_EQ(made.status, 0) << made.err;
    std::string bytes = readFile(dir() / c.name);
    for (const Args &args : {Args{"--storage=" + std::string(c.name), module, "b1"},
                             Args{"--dump-storage=" + std::string(c.name)}}) {
      RunResult r = ctrrun(args);
      EXPECT_EQ(r.status, 3);
      EXPECT_EQ(r.err, "ctrrun: " + std::string(c.name) + ": " + c.message + "\n");
      EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(dir() / c.name), bytes);
  }
  // A damaged database: a valid header over garbage.
  std::string damaged = readFile(dir() / "s.json");
  damaged.replace(100, 3000, std::string(3000, '\x5a'));
  writeFile(dir() / "damaged.db", damaged);
  RunResult r = ctrrun({"--storage=damaged.db", module, "b1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_THAT(r.err, HasSubstr("ctrrun: damaged.db: malformed storage file: "));

  r = ctrrun({"--dump-storage=missing.db"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ctrrun: missing.db: no such store\n");
  r = ctrrun({"--dump-storage=s.json", module});
  EXPECT_EQ(r.status, 1);
}

pid_t spawn(const std::string &exe, const Args &args, const fs::path &cwd) {
  std::vector<char *> argv;
  std::string chdirTo = cwd.string();
  std::vector<std::string> all = {
      "/bin/sh", "-c",    "cd \"$1\" && shift && exec \"$@\" 2>/dev/null >/dev/null",
      "sh",      chdirTo, exe};
  all.insert(all.end(), args.begin(), args.end());
  for (std::string &a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

// Input: one byte.  Stores 64 entries of 1 KiB filled with that byte.
const char WriteMany[] = R"(
  (func (export "apply") (local $i i32)
    (drop (call $read_input))
    (i32.store8 (i32.const 100) (i32.const 0x6b))
    (drop (call $memset (i32.const 1024) (i32.load8_u (i32.const 0)) (i32.const 1024)))
    (loop $next
      (i32.store8 (i32.const 101) (local.get $i))
      (call $storage_set (i32.const 100) (i32.const 2) (i32.const 1024) (i32.const 1024))
      (local.set $i (i32.add (local.get $i) (i32.const 1)))
      (br_if $next (i32.lt_u (local.get $i) (i32.const 64)))))
)";

// A run killed at any moment leaves the store as it was before the run or
// after it, never a mix.
TEST_F(CtrrunTest, AKilledRunLeavesOneStateOrTheOther) {
  std::string module = wasm("many", contract(WriteMany));
  auto values = [&] {
    std::set<std::string> found;
    std::regex entry("\"6b[0-9a-f]{2}\": \"([0-9a-f]{2})");
    std::string dump = storage("s.db");
    for (std::sregex_iterator it(dump.begin(), dump.end(), entry), end; it != end; ++it)
      found.insert((*it)[1]);
    return std::make_pair(found, std::count(dump.begin(), dump.end(), '\n'));
  };
  ASSERT_EQ(ctrrun({"--storage=s.db", module, "0"}).status, 0);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(ctrrun({"--storage=s.db", module, "1"}).status, 0);
  auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();

  std::mt19937 random(20261211);
  std::uniform_int_distribution<long> delay(0, took + took / 4);
  char last = '1';
  for (int round = 0; round < 40; ++round) {
    char next = char('a' + round % 26);
    long wait = delay(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(wait) +
                 " us");
    pid_t pid = spawn(CTRRUN_PATH, {"--storage=s.db", module, std::string(1, next)}, dir());
    std::this_thread::sleep_for(std::chrono::microseconds(wait));
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    auto [found, lines] = values();
    ASSERT_EQ(found.size(), 1u);
    ASSERT_EQ(lines, 66);
    std::string value = *found.begin();
    char now = char(std::stoi(value, nullptr, 16));
    ASSERT_TRUE(now == last || now == next) << value;
    last = now;
  }
  EXPECT_EQ(ctrrun({"--storage=s.db", module, "z"}).status, 0);
  EXPECT_EQ(values().first, std::set<std::string>{"7a"});
}

} // namespace
} // namespace zotest
