//===- bcmath.cpp - Decimal arbitrary-precision arithmetic -----------------===//
//
// A number is a sign and a magnitude: its decimal digits, most significant
// first, of which the last `scale` lie after the point.  Each operation
// computes the exact result (the quotient to as many digits as asked) and
// cuts it to the requested scale only when formatting.
//
//===----------------------------------------------------------------------===//

#include "bcmath/bcmath.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bcmath {

namespace {

using Digits = std::vector<std::uint8_t>;

struct Decimal {
  bool negative = false;
  Digits digits;
  std::size_t scale = 0;
};

std::optional<Decimal> parse(std::string_view s) {
  Decimal d;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    d.negative = s[i++] == '-';
  std::size_t count = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9')
      return std::nullopt;
    // Leading zeros of the integer part carry nothing.
    if (!point && c == '0' && d.digits.empty()) {
      ++count;
      continue;
    }
    d.digits.push_back(static_cast<std::uint8_t>(c - '0'));
    d.scale += point;
    ++count;
  }
  if (count == 0)
    return std::nullopt;
  return d;
}

void strip_leading_zeros(Digits &d) {
  auto first = std::find_if(d.begin(), d.end(), [](std::uint8_t x) { return x != 0; });
  d.erase(d.begin(), first);
}

bool is_zero(const Digits &d) {
  return std::all_of(d.begin(), d.end(), [](std::uint8_t x) { return x == 0; });
}

// Adds trailing zeros so that x has at least `scale` fraction digits.
void extend_scale(Decimal &x, std::size_t scale) {
  if (x.scale < scale) {
    x.digits.insert(x.digits.end(), scale - x.scale, 0);
    x.scale = scale;
  }
}

// Drops fraction digits beyond `scale`: truncation toward zero.
void truncate_scale(Decimal &x, std::size_t scale) {
  if (x.scale > scale) {
    x.digits.resize(x.digits.size() - (x.scale - scale));
    x.scale = scale;
  }
}

// Compares two integers given as digit strings, leading zeros allowed.
int compare_magnitude(const Digits &a, const Digits &b) {
  auto skip = [](const Digits &d) {
    return static_cast<std::size_t>(
        std::find_if(d.begin(), d.end(), [](std::uint8_t x) { return x != 0; }) - d.begin());
  };
  std::size_t ia = skip(a), ib = skip(b);
  std::size_t la = a.size() - ia, lb = b.size() - ib;
  if (la != lb)
    return la < lb ? -1 : 1;
  for (; ia < a.size(); ++ia, ++ib) {
    if (a[ia] != b[ib])
      return a[ia] < b[ib] ? -1 : 1;
  }
  return 0;
}

Digits add_magnitude(const Digits &a, const Digits &b) {
  Digits r(std::max(a.size(), b.size()) + 1);
  unsigned carry = 0;
  for (std::size_t k = 0; k < r.size(); ++k) {
    unsigned s = carry;
    if (k < a.size())
      s += a[a.size() - 1 - k];
    if (k < b.size())
      s += b[b.size() - 1 - k];
    r[r.size() - 1 - k] = static_cast<std::uint8_t>(s % 10);
    carry = s / 10;
  }
  return r;
}

// a -= b for integers with a >= b.
void subtract_in_place(Digits &a, const Digits &b) {
  int borrow = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    int s = a[a.size() - 1 - k] - borrow;
    if (k < b.size())
      s -= b[b.size() - 1 - k];
    borrow = s < 0;
    a[a.size() - 1 - k] = static_cast<std::uint8_t>(s + 10 * borrow);
  }
}

Digits multiply_magnitude(const Digits &a, const Digits &b) {
  // Column sums stay far below 2^64 for any length that fits in memory;
  // carries are propagated once at the end.
  std::vector<std::uint64_t> columns(a.size() + b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == 0)
      continue;
    for (std::size_t j = 0; j < b.size(); ++j)
      columns[i + j + 1] += std::uint64_t(a[i]) * b[j];
  }
  Digits r(columns.size());
  std::uint64_t carry = 0;
  for (std::size_t k = columns.size(); k-- > 0;) {
    std::uint64_t s = columns[k] + carry;
    r[k] = static_cast<std::uint8_t>(s % 10);
    carry = s / 10;
  }
  return r;
}

// floor(n / d) for integers, d nonzero: long division, one quotient digit
// per digit of n, found by repeated subtraction.
Digits divide_magnitude(const Digits &n, Digits d) {
  strip_leading_zeros(d);
  Digits quotient;
  quotient.reserve(n.size());
  Digits rest; // kept without leading zeros
  for (std::uint8_t digit : n) {
    if (!rest.empty() || digit != 0)
      rest.push_back(digit);
    std::uint8_t q = 0;
    while (compare_magnitude(rest, d) >= 0) {
      subtract_in_place(rest, d);
      strip_leading_zeros(rest);
      ++q;
    }
    quotient.push_back(q);
  }
  return quotient;
}

Decimal add_signed(Decimal a, Decimal b) {
  std::size_t scale = std::max(a.scale, b.scale);
  extend_scale(a, scale);
  extend_scale(b, scale);
  Decimal r;
  r.scale = scale;
  if (a.negative == b.negative) {
    r.digits = add_magnitude(a.digits, b.digits);
    r.negative = a.negative;
  } else if (compare_magnitude(a.digits, b.digits) >= 0) {
    subtract_in_place(a.digits, b.digits);
    r.digits = std::move(a.digits);
    r.negative = a.negative;
  } else {
    subtract_in_place(b.digits, a.digits);
    r.digits = std::move(b.digits);
    r.negative = b.negative;
  }
  return r;
}

Decimal multiply(const Decimal &a, const Decimal &b) {
  return {a.negative != b.negative, multiply_magnitude(a.digits, b.digits), a.scale + b.scale};
}

// a / b truncated to `scale` fraction digits; b nonzero.
Decimal divide(const Decimal &a, const Decimal &b, std::size_t scale) {
  // (A / 10^fa) / (B / 10^fb) * 10^scale = A * 10^(fb + scale) / (B * 10^fa),
  // with the common powers of ten cancelled.
  std::size_t up = b.scale + scale, down = a.scale;
  std::size_t common = std::min(up, down);
  Digits n = a.digits, d = b.digits;
  n.insert(n.end(), up - common, 0);
  d.insert(d.end(), down - common, 0);
  return {a.negative != b.negative, divide_magnitude(n, std::move(d)), scale};
}

std::string format(Decimal x, std::size_t scale) {
  truncate_scale(x, scale);
  extend_scale(x, scale);
  if (x.digits.size() < scale)
    x.digits.insert(x.digits.begin(), scale - x.digits.size(), 0);
  std::size_t int_digits = x.digits.size() - scale;
  std::size_t first = 0;
  while (first < int_digits && x.digits[first] == 0)
    ++first;
  std::string out;
  if (x.negative && !is_zero(x.digits))
    out += '-';
  if (first == int_digits)
    out += '0';
  for (std::size_t i = first; i < int_digits; ++i)
    out += static_cast<char>('0' + x.digits[i]);
  if (scale != 0) {
    out += '.';
    for (std::size_t i = int_digits; i < x.digits.size(); ++i)
      out += static_cast<char>('0' + x.digits[i]);
  }
  return out;
}

} // namespace

std::optional<std::string> add(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y)
    return std::nullopt;
  return format(add_signed(std::move(*x), std::move(*y)), scale);
}

std::optional<std::string> sub(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y)
    return std::nullopt;
  y->negative = !y->negative;
  return format(add_signed(std::move(*x), std::move(*y)), scale);
}

std::optional<std::string> mul(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y)
    return std::nullopt;
  return format(multiply(*x, *y), scale);
}

std::optional<std::string> div(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y || is_zero(y->digits))
    return std::nullopt;
  return format(divide(*x, *y, scale), scale);
}

std::optional<std::string> mod(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y || is_zero(y->digits))
    return std::nullopt;
  // a - b * trunc(a / b); with magnitudes, |a| - |b| * floor(|a| / |b|)
  // carrying the sign of a.
  Decimal ax = *x, by = *y;
  ax.negative = by.negative = false;
  Decimal product = multiply(divide(ax, by, 0), by);
  product.negative = true;
  Decimal rest = add_signed(std::move(ax), std::move(product));
  rest.negative = x->negative;
  return format(std::move(rest), scale);
}

std::optional<int> compare(std::string_view a, std::string_view b, unsigned scale) {
  auto x = parse(a), y = parse(b);
  if (!x || !y)
    return std::nullopt;
  truncate_scale(*x, scale);
  truncate_scale(*y, scale);
  y->negative = !y->negative;
  Decimal diff = add_signed(std::move(*x), std::move(*y));
  if (is_zero(diff.digits))
    return 0;
  return diff.negative ? -1 : 1;
}

} // namespace bcmath
