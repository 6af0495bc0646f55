// Notes in a table, and every way a call can end: each failing action
// first changes storage, logs and emits, so that a test sees the failure
// undo the change and keep what was logged.
#include <corvane/actions.hpp>

#include <cstdint>
#include <string>

namespace {

CORVANE_TABLE(notes, std::string, std::string);

void write(const std::string &key, const std::string &text) {
  notes.set(key, text);
  corvane::log("put " + key);
  corvane::emit("put", key);
}

void put(const std::string &key, const std::string &text) { write(key, text); }

void erase(const std::string &key) { notes.erase(key); }

void put_then_abort(const std::string &key, const std::string &text) {
  write(key, text);
  corvane::abort("refused " + key);
}

void put_then_trap(const std::string &key, const std::string &text) {
  write(key, text);
  __builtin_trap();
}

void put_then_spin(const std::string &key, const std::string &text) {
  write(key, text);
  for (volatile uint64_t i = 0;; i = i + 1) {
  }
}

// Declared to return a number, but writes a byte more.
uint64_t put_then_misreport(const std::string &key, const std::string &text) {
  write(key, text);
  corvane::output("!");
  return 1;
}

std::string whoami() { return corvane::caller(); }

bool authorized(const std::string &account) { return corvane::has_auth(account); }

} // namespace

CORVANE_ACTIONS(put, erase, put_then_abort, put_then_trap, put_then_spin, put_then_misreport,
                whoami, authorized)
