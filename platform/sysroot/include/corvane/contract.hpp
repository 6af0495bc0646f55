//===- corvane/contract.hpp - The C++ contract SDK ------------------------===//
//
// A contract defines the entry point
//
//   extern "C" void apply() { ... }
//
// which the host calls once per call.  Global objects are constructed when
// apply is entered and destroyed before it returns, on every call.  The
// functions below wrap the host interface of <corvane/host.h>.
//
// Storage keys are at most max_key_size (256) bytes in every build: a longer
// key aborts the call ("storage key is longer than 256 bytes", or for a
// table's key "key too long for table NAME").  Built with -debug-contract,
// the library also refuses an empty key and logs what it does.
//
//===----------------------------------------------------------------------===//

#ifndef CORVANE_CONTRACT_HPP
#define CORVANE_CONTRACT_HPP

#include <corvane/detail/rules.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The bytes sent with this call.
std::string input();
// Appends to what the caller receives.
void output(std::string_view data);

// The contract's persistent storage.
std::optional<std::string> storage_get(std::string_view key);
void storage_set(std::string_view key, std::string_view value);
void storage_erase(std::string_view key);

// A log line for the operator, and a named event for observers.
void log(std::string_view text);
void emit(std::string_view name, std::string_view data);

// Ends the call: its storage changes are discarded.
[[noreturn]] void abort(std::string_view message);
void check(bool condition, std::string_view message);

// The calling account, and the accounts whose authorization the call
// carries.
std::string caller();
bool has_auth(std::string_view account);
void require_auth(std::string_view account);

// The call's context: the contract's own account, and the block the call
// is in: its height and its time (seconds since 1970-01-01 UTC).  The host
// sets them; a call reads the same values however often it asks.
std::string self();
uint64_t block_height();
uint64_t block_time();

// Aborts on a key longer than max_key_size, in every build; with
// -debug-contract, also on an empty key.
void check_key(std::string_view key);

} // namespace corvane

#endif
