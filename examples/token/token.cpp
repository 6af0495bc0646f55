// A token: balances in contract storage, moved by their owners.
//
// Actions (see <corvane/actions.hpp>; zo++ describes them in the
// container's interface description, and `ctrrun token.ctrx ACTION JSON`
// calls them):
//   create(issuer, supply)   once; the issuer must authorize it and gets the supply
//   transfer(to, amount)     moves the caller's tokens; the caller must authorize it
//   balance(account)         an account's balance
//   transfers()              how many transfers there have been
//
// The transfer count is kept by a global object: its constructor reads the
// count when apply is entered, and its destructor, which runs before apply
// returns, stores what the call added.
#include <corvane/actions.hpp>

#include <cstdint>
#include <string>

namespace {

CORVANE_TABLE(balances, std::string, uint64_t);
CORVANE_TABLE(settings, std::string, std::string);
CORVANE_TABLE(counters, std::string, uint64_t);

class TransferCounter {
public:
  TransferCounter() : before(counters.get("transfers").value_or(0)), total(before) {}
  ~TransferCounter() {
    if (total == before)
      return;
    counters.set("transfers", total);
    corvane::log("token: " + std::to_string(total - before) + " transfer(s) stored");
  }

  void count() { ++total; }
  uint64_t value() const { return total; }

private:
  uint64_t before;
  uint64_t total;
};

TransferCounter counter;

} // namespace

void create(const std::string &issuer, uint64_t supply) {
  corvane::require_auth(issuer);
  corvane::check(!settings.contains("issuer"), "the token exists already");
  settings.set("issuer", issuer);
  balances.set(issuer, supply);
}

void transfer(const std::string &to, uint64_t amount) {
  std::string from = corvane::caller();
  corvane::require_auth(from);
  corvane::check(from != to, "cannot transfer to self");
  uint64_t balance = balances.get(from).value_or(0);
  corvane::check(balance >= amount, "overdrawn balance of " + from);
  uint64_t received = balances.get(to).value_or(0);
  corvane::check(received + amount >= received, "balance overflow");
  balances.set(from, balance - amount);
  balances.set(to, received + amount);
  counter.count();
  corvane::emit("transfer", from + " " + to + " " + std::to_string(amount));
}

uint64_t balance(const std::string &account) { return balances.get(account).value_or(0); }

uint64_t transfers() { return counter.value(); }

CORVANE_ACTIONS(create, transfer, balance, transfers)
