//===- contract.cpp - The C++ contract SDK over the host interface --------===//

#include <corvane/contract.hpp>

#include <corvane/host.h>

namespace corvane {

static uint32_t length(std::string_view text) { return static_cast<uint32_t>(text.size()); }

std::string input() {
  std::string data(corvane_input_size(), '\0');
  if (!data.empty())
    data.resize(corvane_input_read(data.data(), length(data)));
  return data;
}

void output(std::string_view data) { corvane_output_write(data.data(), length(data)); }

std::optional<std::string> storage_get(std::string_view key) {
  check_key(key);
  char small[64];
  int32_t size = corvane_storage_get(key.data(), length(key), small, sizeof small);
  if (size < 0)
    return std::nullopt;
  if (static_cast<uint32_t>(size) <= sizeof small)
    return std::string(small, static_cast<size_t>(size));
  std::string value(static_cast<size_t>(size), '\0');
  corvane_storage_get(key.data(), length(key), value.data(), length(value));
  return value;
}

void storage_set(std::string_view key, std::string_view value) {
  check_key(key);
  corvane_storage_set(key.data(), length(key), value.data(), length(value));
}

void storage_erase(std::string_view key) {
  check_key(key);
  corvane_storage_erase(key.data(), length(key));
}

void log(std::string_view text) { corvane_log(text.data(), length(text)); }

void emit(std::string_view name, std::string_view data) {
  corvane_emit_event(name.data(), length(name), data.data(), length(data));
}

void abort(std::string_view message) { corvane_abort(message.data(), length(message)); }

void check(bool condition, std::string_view message) {
  if (!condition)
    abort(message);
}

// An account name from a host function that copies what fits and returns
// the whole size.
static std::string account_name(uint32_t (*read)(char *, uint32_t)) {
  char small[64];
  uint32_t size = read(small, sizeof small);
  if (size <= sizeof small)
    return std::string(small, size);
  std::string name(size, '\0');
  read(name.data(), length(name));
  return name;
}

std::string caller() { return account_name(corvane_caller); }

std::string self() { return account_name(corvane_self); }

uint64_t block_height() { return corvane_block_height(); }

uint64_t block_time() { return corvane_block_time(); }

bool has_auth(std::string_view account) {
  return corvane_has_auth(account.data(), length(account)) != 0;
}

void require_auth(std::string_view account) {
  if (has_auth(account))
    return;
  std::string message = "missing authority of ";
  message += account;
  abort(message);
}

void check_key(std::string_view key) {
  // The length limit holds in every build, as it does for table keys: a
  // contract tested with -debug-contract must not behave differently
  // without it.
  if (key.size() > max_key_size)
    abort("storage key is longer than 256 bytes");
#ifdef CORVANE_DEBUG
  if (key.empty())
    abort("storage key is empty");
#endif
}

} // namespace corvane
