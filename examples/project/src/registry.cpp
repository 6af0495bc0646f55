// A name registry: accounts claim names, and release or pass on the names
// they hold.
//   claim(name)               the caller claims a free name
//   give(name, to)            the holder passes a name on
//   release(name)             the holder frees a name
//   owner(name)               who holds a name ("" when free)
//   count(account)            how many names an account holds
#include <registry/registry.hpp>

using namespace registry;

static void add_holding(const std::string &account, int change) {
  int64_t held = int64_t{holdings.get(account).value_or(0)} + change;
  corvane::check(held <= int64_t{max_names}, account + " holds too many names");
  if (held == 0)
    holdings.erase(account);
  else
    holdings.set(account, static_cast<uint32_t>(held));
}

static std::string holder_of(const std::string &name) {
  std::string holder = owners.get(name).value_or("");
  corvane::check(!holder.empty(), "no one holds " + name);
  corvane::require_auth(holder);
  return holder;
}

void claim(const std::string &name) {
  corvane::check(valid_name(name), "invalid name: " + name);
  corvane::check(!owners.contains(name), name + " is taken");
  std::string caller = corvane::caller();
  corvane::require_auth(caller);
  owners.set(name, caller);
  add_holding(caller, 1);
  corvane::emit("claimed", name + " " + caller);
}

void give(const std::string &name, const std::string &to) {
  std::string holder = holder_of(name);
  owners.set(name, to);
  add_holding(holder, -1);
  add_holding(to, 1);
  corvane::emit("given", name + " " + holder + " " + to);
}

void release(const std::string &name) {
  std::string holder = holder_of(name);
  owners.erase(name);
  add_holding(holder, -1);
}

std::string owner(const std::string &name) { return owners.get(name).value_or(""); }

uint32_t count(const std::string &account) { return holdings.get(account).value_or(0); }

CORVANE_ACTIONS(claim, give, release, owner, count)
