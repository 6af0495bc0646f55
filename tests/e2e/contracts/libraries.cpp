// The sysroot's small libraries inside a contract: JSON in, decimal
// arithmetic and a hash, JSON out.
#include <bcmath/bcmath.hpp>
#include <cityhash/city.h>
#include <corvane/contract.hpp>
#include <jsoncpp/json.hpp>

#include <cstdio>

extern "C" void apply() {
  json::Value request;
  json::ParseError error;
  if (!json::parse(corvane::input(), request, &error))
    corvane::abort("bad request at column " + std::to_string(error.column) + ": " + error.message);
  std::string a(request["a"].as_string().value_or("0"));
  std::string b(request["b"].as_string().value_or("0"));
  std::string text(request["text"].as_string().value_or(""));

  char hash[17];
  snprintf(hash, sizeof hash, "%016llx",
           static_cast<unsigned long long>(CityHash64(text.data(), text.size())));
  json::Value reply = json::Object{{"sum", bcmath::add(a, b, 2).value_or("?")},
                                   {"product", bcmath::mul(a, b, 2).value_or("?")},
                                   {"hash", std::string(hash)}};
  corvane::output(json::write(reply));
}
