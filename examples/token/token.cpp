// A token: balances in contract storage, moved by their owners.
//
// Calls (the call input is one line of words):
//   create ISSUER SUPPLY      once; ISSUER must authorize it and gets SUPPLY
//   transfer FROM TO AMOUNT   FROM must authorize it
//   balance ACCOUNT           prints the balance
//
// Balances are read from storage on first use and kept in a global cache;
// the cache's destructor, which runs before apply returns, writes the
// changed ones back.
#include <corvane/contract.hpp>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> words(const std::string &text) {
  std::vector<std::string> result;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of(" \t\r\n", at);
    if (end == std::string::npos)
      end = text.size();
    if (end > at)
      result.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return result;
}

uint64_t parse_amount(const std::string &text) {
  corvane::check(!text.empty() && text.size() <= 19 &&
                     text.find_first_not_of("0123456789") == std::string::npos,
                 "amount must be a whole number: " + text);
  return std::strtoull(text.c_str(), nullptr, 10);
}

class BalanceCache {
public:
  BalanceCache() { corvane::log("token: call started"); }
  ~BalanceCache() {
    for (const auto &[account, balance] : balances)
      if (changed.count(account))
        corvane::storage_set("balance:" + account, std::to_string(balance));
    corvane::log("token: " + std::to_string(changed.size()) + " balances saved");
  }

  uint64_t get(const std::string &account) {
    auto found = balances.find(account);
    if (found != balances.end())
      return found->second;
    std::optional<std::string> stored = corvane::storage_get("balance:" + account);
    uint64_t balance = stored ? std::strtoull(stored->c_str(), nullptr, 10) : 0;
    balances[account] = balance;
    return balance;
  }

  void set(const std::string &account, uint64_t balance) {
    balances[account] = balance;
    changed[account] = true;
  }

private:
  std::map<std::string, uint64_t> balances;
  std::map<std::string, bool> changed;
};

BalanceCache cache;

void create(const std::string &issuer, uint64_t supply) {
  corvane::require_auth(issuer);
  corvane::check(!corvane::storage_get("issuer"), "the token exists already");
  corvane::storage_set("issuer", issuer);
  cache.set(issuer, supply);
  corvane::output("created " + std::to_string(supply) + " for " + issuer + "\n");
}

void transfer(const std::string &from, const std::string &to, uint64_t amount) {
  corvane::require_auth(from);
  corvane::check(from != to, "cannot transfer to self");
  uint64_t balance = cache.get(from);
  corvane::check(balance >= amount, "overdrawn balance of " + from);
  uint64_t received = cache.get(to);
  corvane::check(received + amount >= received, "balance overflow");
  cache.set(from, balance - amount);
  cache.set(to, received + amount);
  corvane::emit("transfer", from + " " + to + " " + std::to_string(amount));
  corvane::output(from + " -> " + to + ": " + std::to_string(amount) + "\n");
}

} // namespace

extern "C" void apply() {
  std::vector<std::string> args = words(corvane::input());
  corvane::check(!args.empty(), "usage: create|transfer|balance ...");
  const std::string &action = args[0];
  if (action == "create" && args.size() == 3)
    return create(args[1], parse_amount(args[2]));
  if (action == "transfer" && args.size() == 4)
    return transfer(args[1], args[2], parse_amount(args[3]));
  if (action == "balance" && args.size() == 2)
    return corvane::output(args[1] + ": " + std::to_string(cache.get(args[1])) + "\n");
  corvane::abort("unknown call: " + action);
}
