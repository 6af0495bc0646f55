//===- BcmathTest.cpp - Decimal arithmetic --------------------------------===//

#include "bcmath/bcmath.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using Op = std::optional<std::string> (*)(std::string_view, std::string_view, unsigned);

struct Case {
  const char *name;
  Op op;
  const char *a, *b;
  unsigned scale;
  const char *expected;
};

// Expected values worked out by hand or with Python's decimal module
// (ROUND_DOWN); they follow PHP's bcmath.
const Case known[] = {
    {"add", bcmath::add, "1.234", "5", 2, "6.23"},
    {"add", bcmath::add, "-1.5", "1.25", 2, "-0.25"},
    {"add", bcmath::add, "007.50", "+0.5", 1, "8.0"},
    {"add", bcmath::add, ".5", "1.", 3, "1.500"},
    {"add", bcmath::add, "-0.001", "0", 2, "0.00"},
    {"add", bcmath::add, "99999999999999999999.9", "0.1", 0, "100000000000000000000"},
    {"sub", bcmath::sub, "1", "2", 0, "-1"},
    {"sub", bcmath::sub, "0.1", "0.3", 1, "-0.2"},
    {"sub", bcmath::sub, "-5", "-5.000", 3, "0.000"},
    {"sub", bcmath::sub, "-0.0", "0", 0, "0"},
    {"mul", bcmath::mul, "-1.5", "2", 0, "-3"},
    {"mul", bcmath::mul, "1.25", "1.25", 3, "1.562"},
    {"mul", bcmath::mul, "-0.1", "0.1", 1, "0.0"},
    {"mul", bcmath::mul, "123456789012345678901234567890", "987654321098765432109876543210", 0,
     "121932631137021795226185032733622923332237463801111263526900"},
    {"mul", bcmath::mul, "98765432109876543210.0123456789", "-1234567.891", 4,
     "-121932631223593964221155311.6887"},
    {"div", bcmath::div, "1", "3", 5, "0.33333"},
    {"div", bcmath::div, "-2", "3", 3, "-0.666"},
    {"div", bcmath::div, "-10", "4", 0, "-2"},
    {"div", bcmath::div, "1", "8", 5, "0.12500"},
    {"div", bcmath::div, "0.5", "0.25", 0, "2"},
    {"div", bcmath::div, "-123.456", "0.007", 4, "-17636.5714"},
    {"div", bcmath::div, "123.456", "0.001", 2, "123456.00"},
    {"div", bcmath::div, "0.001", "-1000", 5, "0.00000"},
    {"div", bcmath::div, "1", "7", 50, "0.14285714285714285714285714285714285714285714285714"},
    {"div", bcmath::div, "98765432109876543210.0123456789", "-1234567.891", 10,
     "-80000000672200.0055726480"},
    {"mod", bcmath::mod, "10", "3", 0, "1"},
    {"mod", bcmath::mod, "-10", "3", 0, "-1"},
    {"mod", bcmath::mod, "10", "-3", 0, "1"},
    {"mod", bcmath::mod, "10", "3", 2, "1.00"},
    {"mod", bcmath::mod, "5.7", "1.3", 1, "0.5"},
    {"mod", bcmath::mod, "-5.7", "1.3", 1, "-0.5"},
    {"mod", bcmath::mod, "5.75", "1.3", 1, "0.5"},
    {"mod", bcmath::mod, "98765432109876543210.0123456789", "-1234567.891", 10, "6879.8123456789"},
};

TEST(Bcmath, KnownResults) {
  for (const Case &c : known) {
    SCOPED_TRACE(std::string(c.name) + "(" + c.a + ", " + c.b + ", " + std::to_string(c.scale) +
                 ")");
    EXPECT_EQ(c.op(c.a, c.b, c.scale), std::optional<std::string>(c.expected));
  }
}

TEST(Bcmath, Compare) {
  struct {
    const char *a, *b;
    unsigned scale;
    int expected;
  } cases[] = {
      {"1", "2", 0, -1},        {"-1", "-2", 0, 1},
      {"0010", "10.000", 3, 0}, {"1.001", "1", 2, 0},
      {"1.001", "1", 3, 1},     {"-1.009", "-1", 2, 0},
      {"-0.001", "0", 2, 0},    {"-0.001", "0", 3, -1},
      {"-5", "3", 0, -1},       {"3", "-5", 0, 1},
      {".5", "0.50", 5, 0},     {"100000000000000000001", "99999999999999999999", 0, 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(bcmath::compare(c.a, c.b, c.scale), std::optional<int>(c.expected))
        << c.a << " <=> " << c.b << " scale " << c.scale;
}

TEST(Bcmath, RejectsMalformedNumbersAndZeroDivisors) {
  const char *malformed[] = {"",    "-",   "+",   ".",     "-.",   "1e5", " 1",    "1 ",
                             "1,5", "--1", "+-1", "1.2.3", "0x10", "abc", "1_000", "\xd9\xa1"};
  const Op ops[] = {bcmath::add, bcmath::sub, bcmath::mul, bcmath::div, bcmath::mod};
  for (const char *bad : malformed) {
    for (Op op : ops) {
      EXPECT_EQ(op(bad, "1", 2), std::nullopt) << '"' << bad << '"';
      EXPECT_EQ(op("1", bad, 2), std::nullopt) << '"' << bad << '"';
    }
    EXPECT_EQ(bcmath::compare(bad, "1", 2), std::nullopt) << '"' << bad << '"';
  }
  for (const char *zero : {"0", "-0.000", "0.", ".0", "+000"}) {
    EXPECT_EQ(bcmath::div("1", zero, 2), std::nullopt) << zero;
    EXPECT_EQ(bcmath::mod("1", zero, 2), std::nullopt) << zero;
  }
}

// Small integers against int64 arithmetic, whose / and % truncate toward
// zero as bcmath does; and cents (scale 2) against integer cents.
TEST(Bcmath, AgreesWithMachineIntegers) {
  for (std::int64_t a = -27; a <= 27; a += 3) {
    for (std::int64_t b = -26; b <= 26; b += 4) {
      std::string sa = std::to_string(a), sb = std::to_string(b);
      SCOPED_TRACE(sa + ", " + sb);
      EXPECT_EQ(*bcmath::add(sa, sb), std::to_string(a + b));
      EXPECT_EQ(*bcmath::sub(sa, sb), std::to_string(a - b));
      EXPECT_EQ(*bcmath::mul(sa, sb), std::to_string(a * b));
      EXPECT_EQ(*bcmath::div(sa, sb), std::to_string(a / b));
      EXPECT_EQ(*bcmath::mod(sa, sb), std::to_string(a % b));
      EXPECT_EQ(*bcmath::compare(sa, sb), (a > b) - (a < b));
    }
  }
  auto cents = [](std::int64_t c) {
    std::string digits = std::to_string(c < 0 ? -c : c);
    digits.insert(0, digits.size() < 3 ? 3 - digits.size() : 0, '0');
    return (c < 0 ? "-" : "") + digits.substr(0, digits.size() - 2) + "." +
           digits.substr(digits.size() - 2);
  };
  for (std::int64_t a : {-123456789, -1001, -50, -7, 0, 3, 99, 100, 2500, 987654321}) {
    for (std::int64_t b : {-100000, -1, 1, 37, 100, 314159}) {
      SCOPED_TRACE(cents(a) + ", " + cents(b));
      EXPECT_EQ(*bcmath::add(cents(a), cents(b), 2), cents(a + b));
      EXPECT_EQ(*bcmath::sub(cents(a), cents(b), 2), cents(a - b));
      // (a/100) / (b/100) to two places is (100 * a) / b cents, truncated.
      EXPECT_EQ(*bcmath::div(cents(a), cents(b), 2), cents(100 * a / b));
      EXPECT_EQ(*bcmath::mod(cents(a), cents(b), 2), cents(a % b));
    }
  }
}

TEST(Bcmath, CarriesAcrossThousandsOfDigits) {
  const std::string nines(3000, '9');
  const std::string power = "1" + std::string(3000, '0'); // 10^3000
  EXPECT_EQ(*bcmath::add(nines, "1"), power);
  EXPECT_EQ(*bcmath::sub(power, "1"), nines);
  EXPECT_EQ(*bcmath::sub("1", power), "-" + nines);
  EXPECT_EQ(*bcmath::add("0." + nines, "0." + std::string(2999, '0') + "1", 3000),
            "1." + std::string(3000, '0'));
  // (10^n - 1)^2 = 10^2n - 2*10^n + 1
  const std::string square = std::string(2999, '9') + "8" + std::string(2999, '0') + "1";
  EXPECT_EQ(*bcmath::mul(nines, nines), square);
  EXPECT_EQ(*bcmath::div(square, nines), nines);
  EXPECT_EQ(*bcmath::mod(*bcmath::add(square, "5"), nines), "5");
  // 1 / (10^3000 - 1) = 10^-3000 + 10^-6000 + ...
  EXPECT_EQ(*bcmath::div("1", nines, 3010),
            "0." + std::string(2999, '0') + "1" + std::string(10, '0'));
}

// a = b * q + r with q an integer and |r| < |b|, r of a's sign: checked on
// long operands with fractions.
TEST(Bcmath, DivisionIdentityOnLongOperands) {
  std::uint64_t x = 7;
  auto digits = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
      x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      s += static_cast<char>('0' + (x >> 33) % 10);
    }
    return s;
  };
  for (int round = 0; round < 4; ++round) {
    std::string a = (round & 1 ? "-" : "") + digits(1200) + "." + digits(40);
    std::string b = (round & 2 ? "-1" : "1") + digits(500) + "." + digits(25);
    std::string q = *bcmath::div(a, b, 0);
    std::string r = *bcmath::mod(a, b, 40);
    EXPECT_EQ(*bcmath::add(*bcmath::mul(b, q, 40), r, 40), *bcmath::add(a, "0", 40));
    EXPECT_EQ(r[0] == '-', a[0] == '-');
    std::string abs_r = r[0] == '-' ? r.substr(1) : r, abs_b = b[0] == '-' ? b.substr(1) : b;
    EXPECT_EQ(*bcmath::compare(abs_r, abs_b, 40), -1);
    // The quotient to 10 places times b is within b * 10^-10 of a.
    std::string q10 = *bcmath::div(a, b, 10);
    std::string gap = *bcmath::sub(a, *bcmath::mul(b, q10, 40), 40);
    std::string abs_gap = gap[0] == '-' ? gap.substr(1) : gap;
    EXPECT_EQ(*bcmath::compare(abs_gap, *bcmath::mul(abs_b, "0.0000000001", 40), 40), -1);
  }
}

} // namespace
