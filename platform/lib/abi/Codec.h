//===- Codec.h - Action calls between JSON and the contract encoding -------===//
//
// A caller writes an action's arguments as JSON; the contract reads them in
// the binary encoding of <corvane/actions.hpp>, and answers in it too.
//
//   bool         true / false
//   intN/uintN   an integer written as such (no fraction or exponent),
//                read exactly from its text, or a string of decimal digits
//                (64-bit values do not survive every JSON writer as numbers)
//   string       a JSON string
//   vector<T>    an array
//   map<string,V>  an object
//   map<K,V>     an array of [key, value] pairs for any other key type
//   struct       an object by field name
//
// Results are written the same way, compactly, integers always as numbers.
// Errors are one line, naming the action and the argument's path.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_ABI_CODEC_H
#define ZO_ABI_CODEC_H

#include "Interface.h"
#include "JsonText.h"

#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"
#include "llvm/Support/JSON.h"

#include <map>
#include <string>

namespace zo::abi {

/// A call's arguments: the JSON value, and the text of each number in it,
/// which is what integers are read from.  Not copyable: the texts are keyed
/// by the values' addresses.
struct Arguments {
  llvm::json::Value Value = llvm::json::Object();
  NumberTexts Numbers;

  Arguments() = default;
  Arguments(const Arguments &) = delete;
  Arguments &operator=(const Arguments &) = delete;
};

/// Parses the JSON text of a call's arguments into \p Args.
llvm::Error parseArguments(const Action &A, llvm::StringRef Text, Arguments &Args);

/// The call input for \p A: its name, then the arguments, an object by
/// parameter name, in parameter order.
llvm::Expected<std::string> encodeCall(const Action &A, const Arguments &Args);

/// \p Output decoded as one value of \p A's result, as one line of JSON;
/// empty for a void result.
llvm::Expected<std::string> decodeResult(const Action &A, llvm::StringRef Output);

/// One value of type \p T: from JSON to the contract encoding, and back.
/// \p T is not void.
llvm::Expected<std::string> encodeValue(const Type &T, llvm::StringRef Json);
llvm::Expected<std::string> decodeValue(const Type &T, llvm::StringRef Bytes);

} // namespace zo::abi

#endif
