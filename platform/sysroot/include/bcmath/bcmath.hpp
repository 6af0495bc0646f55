//===- bcmath/bcmath.hpp - Decimal arbitrary-precision arithmetic -*- C++ -*-===//
//
// Arithmetic on decimal numbers written as strings, with the behaviour of
// PHP's bcmath: any number of digits, and every result carries exactly
// `scale` digits after the decimal point, truncated toward zero.
//
// A number is an optional sign ('+' or '-'), digits, and optionally '.'
// followed by digits, with at least one digit in all ("1.", ".5", "-007"
// are fine; "", "-", "1e5", " 1", "1,5" are not).  Results have no leading
// zeros, no '.' when scale is 0, and never read "-0".
//
// Every function returns nullopt for a malformed operand; div and mod also
// for a zero divisor.
//
//===----------------------------------------------------------------------===//

#ifndef BCMATH_BCMATH_HPP
#define BCMATH_BCMATH_HPP

#include <optional>
#include <string>
#include <string_view>

namespace bcmath {

std::optional<std::string> add(std::string_view a, std::string_view b, unsigned scale = 0);
std::optional<std::string> sub(std::string_view a, std::string_view b, unsigned scale = 0);
std::optional<std::string> mul(std::string_view a, std::string_view b, unsigned scale = 0);
// a / b, truncated to scale digits.
std::optional<std::string> div(std::string_view a, std::string_view b, unsigned scale = 0);
// a - b * q where q is a / b truncated to an integer, so the result has the
// sign of a (PHP 7.2 bcmod): mod("5.7", "1.3", 1) is "0.5", mod("-7", "2")
// is "-1"; then truncated to scale digits.
std::optional<std::string> mod(std::string_view a, std::string_view b, unsigned scale = 0);
// -1, 0 or 1 as a is less than, equal to or greater than b, both first
// truncated to scale digits: compare("1.001", "1", 2) is 0.
std::optional<int> compare(std::string_view a, std::string_view b, unsigned scale = 0);

} // namespace bcmath

#endif
