//===- JsonText.cpp - JSON read strictly ----------------------------------===//

#include "JsonText.h"
#include "Escape.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/ADT/StringSet.h"

#include <algorithm>

using namespace llvm;

namespace zo {

unsigned jsonDepth(StringRef Text, unsigned Limit) {
  unsigned Depth = 0, Deepest = 0;
  bool InString = false, Escape = false;
  for (char C : Text) {
    if (InString) {
      if (Escape)
        Escape = false;
      else if (C == '\\')
        Escape = true;
      else if (C == '"')
        InString = false;
    } else if (C == '"') {
      InString = true;
    } else if (C == '[' || C == '{') {
      Deepest = std::max(Deepest, ++Depth);
      if (Deepest > Limit)
        break;
    } else if ((C == ']' || C == '}') && Depth) {
      --Depth;
    }
  }
  return Deepest;
}

namespace {
/// Walks the text of JSON that LLVM parsed alongside the value it made,
/// recording each number's text, refusing what the parser let through and
/// repeated member names, of which the parser keeps the last.  Until a
/// repeated name is found the text and the value agree; the walk checks
/// rather than trusts that.
class TextWalk {
public:
  TextWalk(StringRef Text, NumberTexts *Numbers) : Text(Text), Numbers(Numbers) {}

  Error value(const json::Value &V) {
    blanks();
    char C = peek();
    if (C == '{') {
      const json::Object *O = V.getAsObject();
      return O ? object(*O) : repeated();
    }
    if (C == '[') {
      const json::Array *A = V.getAsArray();
      return A ? array(*A) : repeated();
    }
    if (C == '"') {
      Expected<StringRef> S = string();
      if (!S)
        return S.takeError();
      return V.kind() == json::Value::String ? Error::success() : repeated();
    }
    size_t Start = At;
    while (isAlnum(peek()) || StringRef("+-.").contains(peek()))
      ++At;
    // LLVM's parser also takes a number that starts with '+' or '.'.
    if (C == '-' || C == '+' || C == '.' || isDigit(C)) {
      if (V.kind() != json::Value::Number)
        return repeated();
      StringRef Number = Text.slice(Start, At);
      if (!isJsonNumber(Number))
        return invalid("Invalid number", Start);
      if (Numbers)
        (*Numbers)[&V] = Number.str();
    }
    return Error::success();
  }

private:
  char peek() const { return At < Text.size() ? Text[At] : 0; }

  void blanks() {
    while (StringRef(" \t\n\r").contains(peek()))
      ++At;
  }

  /// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, where LLVM's parser
  /// takes whatever strtod does.
  static bool isJsonNumber(StringRef N) {
    auto Digits = [&] {
      size_t Count = 0;
      while (!N.empty() && isDigit(N.front()))
        N = N.drop_front(), ++Count;
      return Count;
    };
    N.consume_front("-");
    if (N.consume_front("0")) {
      if (!N.empty() && isDigit(N.front()))
        return false;
    } else if (!Digits()) {
      return false;
    }
    if (N.consume_front(".") && !Digits())
      return false;
    if (N.consume_front("e") || N.consume_front("E")) {
      if (!N.consume_front("+"))
        N.consume_front("-");
      if (!Digits())
        return false;
    }
    return N.empty();
  }

  /// Steps past the separator after an element, true at the closing one.
  bool closes(char Close) {
    blanks();
    return At++ >= Text.size() || Text[At - 1] == Close;
  }

  /// The string at At, quotes included; a surrogate escape must be half
  /// of a pair, where LLVM's parser puts U+FFFD for one alone.
  Expected<StringRef> string() {
    size_t Start = At++;
    auto Unit = [&](size_t Escape) -> unsigned {
      unsigned U = 0;
      if (Text.substr(Escape, 2) != "\\u" || Text.substr(Escape + 2, 4).getAsInteger(16, U))
        return ~0u;
      return U;
    };
    while (At < Text.size() && Text[At] != '"') {
      unsigned U = Unit(At);
      if (U >= 0xd800 && U < 0xdc00) {
        unsigned Low = Unit(At + 6);
        if (Low < 0xdc00 || Low >= 0xe000)
          return invalid("Unpaired surrogate in string", At);
        At += 12;
        continue;
      }
      if (U >= 0xdc00 && U < 0xe000)
        return invalid("Unpaired surrogate in string", At);
      At += Text[At] == '\\' ? 2 : 1;
    }
    ++At;
    return Text.slice(Start, At);
  }

  /// An error that reads as one of LLVM's parser's, which counts the
  /// offending character's position from 1.
  Error invalid(const char *Message, size_t Where) {
    StringRef Before = Text.take_front(Where);
    size_t LineStart = Before.rfind('\n');
    LineStart = LineStart == StringRef::npos ? 0 : LineStart + 1;
    // ParseError keeps the pointer: messages are literals.
    return make_error<json::ParseError>(Message, Before.count('\n') + 1, Where - LineStart + 1,
                                        Where + 1);
  }

  Error repeated() {
    return createStringError(inconvertibleErrorCode(), "a member name appears twice");
  }

  Error array(const json::Array &A) {
    ++At;
    blanks();
    if (peek() == ']')
      return ++At, Error::success();
    for (size_t I = 0;; ++I) {
      if (I == A.size())
        return repeated();
      if (Error E = value(A[I]))
        return E;
      if (closes(']'))
        return I + 1 == A.size() ? Error::success() : repeated();
    }
  }

  Error object(const json::Object &O) {
    ++At;
    blanks();
    if (peek() == '}')
      return ++At, Error::success();
    StringSet<> Seen;
    while (true) {
      blanks();
      Expected<StringRef> KeyText = string();
      if (!KeyText)
        return KeyText.takeError();
      Expected<json::Value> Key = json::parse(*KeyText);
      if (!Key)
        return Key.takeError();
      Optional<StringRef> Name = Key->getAsString();
      if (!Name)
        return repeated();
      if (!Seen.insert(*Name).second)
        return createStringError(inconvertibleErrorCode(),
                                 "'" + escaped(*Name) + "' appears twice in an object");
      const json::Value *Member = O.get(*Name);
      if (!Member)
        return repeated();
      blanks();
      ++At; // :
      if (Error E = value(*Member))
        return E;
      if (closes('}'))
        return Error::success();
    }
  }

  StringRef Text;
  NumberTexts *Numbers;
  size_t At = 0;
};
} // namespace

Error checkJsonText(StringRef Text, const json::Value &V, NumberTexts *Numbers) {
  return TextWalk(Text, Numbers).value(V);
}

} // namespace zo
