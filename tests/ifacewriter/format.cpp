// The .abi file byte for byte: members in a fixed order, two-space indent,
// a final newline.  The message arrives exactly as given, blanks, quotes
// and non-ASCII text included; JSON escapes what it must, and bytes that are
// not UTF-8 become U+FFFD.

// RUN: rm -f %t.abi
// RUN: %clang %iface %t.abi %iface "Pays  out \"exactly\" once, 'always' – ünïcødé ✓" -fsyntax-only %s
// RUN: FileCheck %s --input-file=%t.abi --match-full-lines --strict-whitespace

// RUN: printf 'tab\there\nnew line \\ back \001 bad \377 end \342\202' > %t.msg
// RUN: xargs -0 -a %t.msg %clang %iface %t.abi -fsyntax-only %s %iface
// RUN: FileCheck %s --input-file=%t.abi --check-prefix=ESCAPED

// ESCAPED: "message": "tab\there\nnew line \\ back \u0001 bad � end �",

#include <corvane/actions.hpp>

struct Entry {
  uint64_t amount;
  std::string memo;
};

CORVANE_TABLE(entries, uint32_t, Entry);

uint32_t pay(const std::string &to, Entry entry) {
  (void)to, (void)entry;
  return 0;
}

CORVANE_ACTIONS(pay)

//      CHECK:{
// CHECK-NEXT:  "version": 1,
// CHECK-NEXT:  "message": "Pays  out \"exactly\" once, 'always' – ünïcødé ✓",
// CHECK-NEXT:  "actions": [
// CHECK-NEXT:    {
// CHECK-NEXT:      "name": "pay",
// CHECK-NEXT:      "params": [
// CHECK-NEXT:        {
// CHECK-NEXT:          "name": "to",
// CHECK-NEXT:          "type": "string"
// CHECK-NEXT:        },
// CHECK-NEXT:        {
// CHECK-NEXT:          "name": "entry",
// CHECK-NEXT:          "type": "Entry"
// CHECK-NEXT:        }
// CHECK-NEXT:      ],
// CHECK-NEXT:      "result": "uint32"
// CHECK-NEXT:    }
// CHECK-NEXT:  ],
// CHECK-NEXT:  "structs": [
// CHECK-NEXT:    {
// CHECK-NEXT:      "name": "Entry",
// CHECK-NEXT:      "fields": [
// CHECK-NEXT:        {
// CHECK-NEXT:          "name": "amount",
// CHECK-NEXT:          "type": "uint64"
// CHECK-NEXT:        },
// CHECK-NEXT:        {
// CHECK-NEXT:          "name": "memo",
// CHECK-NEXT:          "type": "string"
// CHECK-NEXT:        }
// CHECK-NEXT:      ]
// CHECK-NEXT:    }
// CHECK-NEXT:  ],
// CHECK-NEXT:  "tables": [
// CHECK-NEXT:    {
// CHECK-NEXT:      "name": "entries",
// CHECK-NEXT:      "key": "uint32",
// CHECK-NEXT:      "value": "Entry"
// CHECK-NEXT:    }
// CHECK-NEXT:  ]
// CHECK-NEXT:}
// CHECK-NOT:{{.}}
