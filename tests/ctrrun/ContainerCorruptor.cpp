//===- ContainerCorruptor.cpp - Damaged .ctrx containers that still check out ===//

#include "ContainerCorruptor.h"
#include "Leb128.h"
#include "WasmBytes.h"

#include "llvm/ADT/SmallVector.h"
#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/Compression.h"
#include "llvm/Support/Endian.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/SHA256.h"
#include "llvm/Support/raw_ostream.h"

#include <algorithm>
#include <functional>

namespace zotest {
namespace {

using Rng = std::mt19937_64;

size_t below(Rng &rng, size_t n) { return n ? size_t(rng() % n) : 0; }

template <typename T, size_t N> const T &oneOf(Rng &rng, const T (&items)[N]) {
  return items[below(rng, N)];
}

std::string hexNumber(uint64_t value) { return "0x" + llvm::utohexstr(value, /*LowerCase=*/true); }

//===----------------------------------------------------------------------===//
// Bytes
//===----------------------------------------------------------------------===//

uint32_t read32(const std::string &bytes, size_t at) {
  return llvm::support::endian::read32le(bytes.data() + at);
}

uint64_t read64(const std::string &bytes, size_t at) {
  return llvm::support::endian::read64le(bytes.data() + at);
}

void put32(std::string &out, uint32_t value) {
  char bytes[4];
  llvm::support::endian::write32le(bytes, value);
  out.append(bytes, 4);
}

void put64(std::string &out, uint64_t value) {
  char bytes[8];
  llvm::support::endian::write64le(bytes, value);
  out.append(bytes, 8);
}

std::string sha256(const std::string &bytes) {
  std::array<uint8_t, 32> digest = llvm::SHA256::hash(llvm::arrayRefFromStringRef(bytes));
  return std::string(digest.begin(), digest.end());
}

std::string deflate(const std::string &bytes) {
  llvm::SmallVector<char, 0> out;
  if (llvm::Error e = llvm::zlib::compress(bytes, out, llvm::zlib::BestSizeCompression)) {
    llvm::consumeError(std::move(e));
    return bytes;
  }
  return std::string(out.begin(), out.end());
}

std::string inflate(const std::string &bytes, uint64_t size) {
  llvm::SmallVector<char, 0> out;
  if (llvm::Error e = llvm::zlib::uncompress(bytes, out, size)) {
    llvm::consumeError(std::move(e));
    return "";
  }
  return std::string(out.begin(), out.end());
}

using wasm::leb;
using wasm::sleb;

/// Reads a varuint32 at \p at, padded or not, and steps past it.
bool readLeb(const std::string &bytes, size_t &at, uint32_t &value) {
  llvm::StringRef rest = llvm::StringRef(bytes).substr(at);
  if (zo::readVaruint32(rest, value, zo::LebForm::AnyWithinFiveBytes) != zo::LebError::None)
    return false;
  at = bytes.size() - rest.size();
  return true;
}

//===----------------------------------------------------------------------===//
// WebAssembly modules
//===----------------------------------------------------------------------===//

const std::string &WasmHeader = wasm::Header;

struct WasmSection {
  uint8_t id;
  std::string payload;
};

bool splitModule(const std::string &module, std::vector<WasmSection> &sections) {
  if (module.compare(0, 8, WasmHeader) != 0)
    return false;
  for (size_t at = 8; at < module.size();) {
    uint8_t id = module[at++];
    uint32_t size;
    if (!readLeb(module, at, size) || size > module.size() - at)
      return false;
    sections.push_back({id, module.substr(at, size)});
    at += size;
  }
  return !sections.empty();
}

std::string joinModule(const std::vector<WasmSection> &sections) {
  std::string out = WasmHeader;
  for (const WasmSection &s : sections)
    out += char(s.id) + leb(s.payload.size()) + s.payload;
  return out;
}

/// Where the names of an import or export section are: offsets of their
/// length prefixes in the payload.  Empty when the payload does not parse.
std::vector<size_t> namesIn(const WasmSection &section) {
  std::vector<size_t> names;
  const std::string &p = section.payload;
  size_t at = 0;
  uint32_t count, value;
  auto name = [&] {
    names.push_back(at);
    uint32_t size;
    if (!readLeb(p, at, size) || size > p.size() - at)
      return false;
    at += size;
    return true;
  };
  auto limits = [&] {
    if (at >= p.size())
      return false;
    uint8_t flags = p[at++];
    return readLeb(p, at, value) && (!(flags & 1) || readLeb(p, at, value));
  };
  if (!readLeb(p, at, count))
    return {};
  for (uint32_t i = 0; i < count; ++i) {
    if (section.id == 2 && !name())
      return {};
    if (!name() || at >= p.size())
      return {};
    uint8_t kind = p[at++];
    bool ok = true;
    if (section.id == 7 || kind == 0)
      ok = readLeb(p, at, value);
    else if (kind == 1)
      ok = ++at <= p.size() && limits();
    else if (kind == 2)
      ok = limits();
    else if (kind == 3)
      ok = (at += 2) <= p.size();
    else
      ok = false;
    if (!ok)
      return {};
  }
  return names;
}

// Names a module may be given instead of its own.  None is a host function
// that writes storage: the fixture imports none, and a renamed import must
// not become one, so that no variant can change storage on purpose.
const std::string Names[] = {"",
                             "apply",
                             "memory",
                             "apply ",
                             "APPLY",
                             "env",
                             "corvane_abort",
                             "corvane_log",
                             "corvane_input_size",
                             "corvane_caller",
                             "wasi_snapshot_preview1",
                             "fd_write",
                             std::string("\xff\xfe", 2),
                             std::string("a\0b", 3),
                             std::string(300, 'n'),
                             std::string(70000, 'x')};

using ModuleDamage = std::function<std::string(std::vector<WasmSection> &, std::string &, Rng &)>;

struct NamedDamage {
  const char *name;
  ModuleDamage damage;
};

/// Each damage edits the split sections (joined afterwards) or, when the
/// damage is below the section structure, sets the module bytes itself.
const NamedDamage ModuleDamages[] = {
    {"section length",
     [](std::vector<WasmSection> &sections, std::string &module, Rng &rng) {
       size_t i = below(rng, sections.size());
       uint32_t size = sections[i].payload.size();
       const uint32_t choices[] = {size - 1, size + 1, 0, 0xffffffff,
                                   size + 1 + uint32_t(below(rng, 99))};
       std::string encoded =
           below(rng, 4) ? leb(oneOf(rng, choices)) : leb(size, below(rng, 2) ? 5 : 6); // overlong
       module = WasmHeader;
       for (size_t j = 0; j < sections.size(); ++j)
         module += char(sections[j].id) + (j == i ? encoded : leb(sections[j].payload.size())) +
                   sections[j].payload;
       return "section " + std::to_string(i) + " length encoded as " + llvm::toHex(encoded);
     }},
    {"vector count",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       std::vector<size_t> vectors;
       for (size_t i = 0; i < sections.size(); ++i)
         if (sections[i].id >= 1 && sections[i].id <= 11 && sections[i].id != 8)
           vectors.push_back(i);
       if (vectors.empty())
         return std::string("no vector");
       WasmSection &s = sections[vectors[below(rng, vectors.size())]];
       size_t at = 0;
       uint32_t count;
       if (!readLeb(s.payload, at, count))
         return std::string("unreadable count");
       const uint32_t choices[] = {count + 1, count - 1, 0, 0xffffffff, 0x7fffffff, count * 1000};
       uint32_t now = oneOf(rng, choices);
       s.payload = leb(now) + s.payload.substr(at);
       return "section id " + std::to_string(s.id) + " count " + std::to_string(now);
     }},
    {"section dropped",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       size_t i = below(rng, sections.size());
       sections.erase(sections.begin() + i);
       return "section " + std::to_string(i);
     }},
    {"section repeated",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       size_t i = below(rng, sections.size());
       sections.insert(sections.begin() + i, sections[i]);
       return "section " + std::to_string(i);
     }},
    {"sections swapped",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       if (sections.size() < 2)
         return std::string("one section");
       size_t i = below(rng, sections.size() - 1);
       std::swap(sections[i], sections[i + 1]);
       return "sections " + std::to_string(i) + " and " + std::to_string(i + 1);
     }},
    {"payload byte",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       size_t i = below(rng, sections.size());
       std::string &p = sections[i].payload;
       if (p.empty())
         return std::string("empty section");
       size_t at = below(rng, p.size());
       const uint8_t choices[] = {0x00, 0x01, 0x7f, 0x80, 0xff, uint8_t(rng())};
       p[at] = char(oneOf(rng, choices));
       return "section " + std::to_string(i) + " byte " + std::to_string(at) + " = " +
              hexNumber(uint8_t(p[at]));
     }},
    {"name",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       std::vector<std::pair<size_t, size_t>> names; // section, offset
       for (size_t i = 0; i < sections.size(); ++i)
         if (sections[i].id == 2 || sections[i].id == 7)
           for (size_t offset : namesIn(sections[i]))
             names.push_back({i, offset});
       if (names.empty())
         return std::string("no names");
       auto [i, offset] = names[below(rng, names.size())];
       std::string &p = sections[i].payload;
       size_t at = offset;
       uint32_t size;
       readLeb(p, at, size);
       const std::string &name = oneOf(rng, Names);
       std::string old = p.substr(at, size);
       p = p.substr(0, offset) + leb(name.size()) + name + p.substr(at + size);
       return "'" + old + "' renamed '" + name.substr(0, 40) + "' (" + std::to_string(name.size()) +
              " bytes)";
     }},
    {"memory limits",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       const std::string choices[] = {std::string(1, '\0') + leb(70000),
                                      std::string(1, '\1') + leb(2) + leb(1),
                                      std::string(1, '\1') + leb(0) + leb(65537),
                                      std::string(1, '\0') + leb(4097),
                                      std::string(1, '\3') + leb(1) + leb(2),
                                      std::string(1, '\4') + leb(1),
                                      std::string(1, '\0') + leb(0),
                                      std::string(1, '\0') + leb(1, 6)};
       for (WasmSection &s : sections)
         if (s.id == 5) {
           const std::string &limits = oneOf(rng, choices);
           s.payload = leb(1) + limits;
           return "limits " + llvm::toHex(limits);
         }
       return std::string("no memory");
     }},
    {"module cut short",
     [](std::vector<WasmSection> &, std::string &module, Rng &rng) {
       module.resize(below(rng, module.size()));
       return "at " + std::to_string(module.size());
     }},
    {"endless loops",
     [](std::vector<WasmSection> &sections, std::string &, Rng &) {
       for (WasmSection &s : sections) {
         size_t at = 0;
         uint32_t count;
         if (s.id != 10 || !readLeb(s.payload, at, count))
           continue;
         // No locals; loop, br 0, end, end.
         const std::string body("\0\x03\x40\x0c\0\x0b\x0b", 7);
         s.payload = leb(count);
         for (uint32_t i = 0; i < count && i < 100000; ++i)
           s.payload += leb(body.size()) + body;
         return "in " + std::to_string(count) + " functions";
       }
       return std::string("no code");
     }},
    {"start function",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       const uint32_t choices[] = {0, 1, 4, 5, 1000};
       uint32_t func = oneOf(rng, choices);
       auto after = std::find_if(sections.begin(), sections.end(),
                                 [](const WasmSection &s) { return s.id > 8; });
       sections.insert(after, WasmSection{8, leb(func)});
       return "function " + std::to_string(func);
     }},
    {"data offset",
     [](std::vector<WasmSection> &sections, std::string &, Rng &rng) {
       for (WasmSection &s : sections) {
         size_t at = 0;
         uint32_t count, flags, offset;
         if (s.id != 11 || !readLeb(s.payload, at, count) || !readLeb(s.payload, at, flags) ||
             flags != 0 || at >= s.payload.size() || s.payload[at] != 0x41)
           continue;
         size_t start = ++at;
         if (!readLeb(s.payload, at, offset))
           continue;
         const int32_t choices[] = {65535, 65536, -1, 0x7fffffff, 0};
         int32_t now = oneOf(rng, choices);
         s.payload = s.payload.substr(0, start) + sleb(now) + s.payload.substr(at);
         return "first segment at " + std::to_string(now);
       }
       return std::string("no active segment");
     }},
};

std::string damageModule(std::string &module, Rng &rng) {
  std::vector<WasmSection> sections;
  if (!splitModule(module, sections)) {
    module.resize(below(rng, module.size()));
    return "module cut short at " + std::to_string(module.size());
  }
  const NamedDamage &d = oneOf(rng, ModuleDamages);
  std::string before = module;
  std::string detail = d.damage(sections, module, rng);
  if (module == before)
    module = joinModule(sections);
  return std::string("module: ") + d.name + ": " + detail;
}

//===----------------------------------------------------------------------===//
// The interface description
//===----------------------------------------------------------------------===//

std::string vectorOf(const std::string &element, size_t depth) {
  std::string text = element;
  for (size_t i = 0; i < depth; ++i)
    text = "vector<" + text + ">";
  return text;
}

// Types where a type may stand, and words where a name may.
const std::string TypeTexts[] = {"bool",
                                 "int8",
                                 "uint64",
                                 "string",
                                 "void",
                                 "Poll",
                                 "vector<Poll>",
                                 "map<string,Poll>",
                                 "map<Poll,string>",
                                 "map<vector<bool>,int8>",
                                 "vector<",
                                 "map<string>",
                                 "uint128",
                                 "float",
                                 "vector < string >",
                                 " string ",
                                 "Poll Poll",
                                 "peek",
                                 "",
                                 "vector<string>>",
                                 vectorOf("string", 31),
                                 vectorOf("string", 32),
                                 vectorOf("uint8", 200),
                                 "map<string," + vectorOf("bool", 40) + ">"};

llvm::json::Value jsonOf(const std::string &text) {
  llvm::Expected<llvm::json::Value> v = llvm::json::parse(text);
  if (!v) {
    llvm::consumeError(v.takeError());
    return nullptr;
  }
  return std::move(*v);
}

const char *const OtherValues[] = {"null",  "true", "false", "0",        "-1",          "1.5",
                                   "1e300", "\"\"", "\"x\"", "[]",       "{}",          "[{}]",
                                   "2",     "1",    "[1]",   "\"void\"", "{\"name\":1}"};

const char *const Keys[] = {"name",    "type",   "params",  "result",  "fields", "actions",
                            "structs", "tables", "version", "message", "key",    "value"};

struct Node {
  llvm::json::Value *value;
  std::string path;
};

void collect(llvm::json::Value &v, const std::string &path, std::vector<Node> &nodes) {
  nodes.push_back({&v, path.empty() ? "/" : path});
  if (llvm::json::Object *o = v.getAsObject()) {
    std::vector<std::string> keys;
    for (auto &member : *o)
      keys.push_back(member.first.str());
    std::sort(keys.begin(), keys.end());
    for (const std::string &k : keys)
      collect(*o->get(k), path + "/" + k, nodes);
  } else if (llvm::json::Array *a = v.getAsArray()) {
    for (size_t i = 0; i < a->size(); ++i)
      collect((*a)[i], path + "/" + std::to_string(i), nodes);
  }
}

std::string damageJsonTree(std::string &text, Rng &rng) {
  llvm::Expected<llvm::json::Value> root = llvm::json::parse(text);
  if (!root) {
    llvm::consumeError(root.takeError());
    text.resize(below(rng, text.size()));
    return "cut short at " + std::to_string(text.size());
  }
  std::vector<Node> nodes;
  collect(*root, "", nodes);
  Node n = nodes[below(rng, nodes.size())];
  std::string what;
  llvm::json::Object *o = n.value->getAsObject();
  llvm::json::Array *a = n.value->getAsArray();
  switch (below(rng, 4)) {
  case 0: {
    const char *other = oneOf(rng, OtherValues);
    *n.value = jsonOf(other);
    what = std::string("= ") + other;
    break;
  }
  case 1:
    if (n.value->getAsString() || !(o || a)) {
      const std::string &type = oneOf(rng, TypeTexts);
      *n.value = type;
      what = "= \"" + type.substr(0, 60) + "\"";
      break;
    }
    [[fallthrough]];
  default:
    if (a && !a->empty()) {
      size_t i = below(rng, a->size());
      if (below(rng, 2)) {
        a->insert(a->begin() + i, (*a)[i]);
        what = "element " + std::to_string(i) + " repeated";
      } else {
        llvm::json::Array rest;
        for (size_t j = 0; j < a->size(); ++j)
          if (j != i)
            rest.push_back((*a)[j]);
        *a = std::move(rest);
        what = "element " + std::to_string(i) + " removed";
      }
    } else if (o && !o->empty()) {
      std::vector<std::string> keys;
      for (auto &member : *o)
        keys.push_back(member.first.str());
      std::sort(keys.begin(), keys.end());
      std::string key = keys[below(rng, keys.size())];
      llvm::json::Value moved = *o->get(key);
      o->erase(key);
      if (below(rng, 2)) {
        std::string other = oneOf(rng, Keys);
        (*o)[other] = std::move(moved);
        what = "\"" + key + "\" renamed \"" + other + "\"";
      } else {
        what = "\"" + key + "\" removed";
      }
    } else {
      *n.value = jsonOf(oneOf(rng, OtherValues));
      what = "replaced";
    }
  }
  std::string out;
  llvm::raw_string_ostream os(out);
  os << *root;
  os.flush();
  text = out;
  return "tree: " + n.path + " " + what;
}

// A struct whose field names the struct itself: nothing in the format forbids
// it, and a value of it can only be as deep as its encoding is long.  When
// that field is its only one, no value of it ends at all; and the first
// action may return it.
std::string recursiveStruct(std::string &text, Rng &rng) {
  llvm::Expected<llvm::json::Value> root = llvm::json::parse(text);
  if (!root) {
    llvm::consumeError(root.takeError());
    return "not JSON";
  }
  llvm::json::Object *o = root->getAsObject();
  llvm::json::Array *structs = o ? o->getArray("structs") : nullptr;
  if (!structs || structs->empty())
    return "no structs";
  llvm::json::Object *s = (*structs)[below(rng, structs->size())].getAsObject();
  llvm::Optional<llvm::StringRef> found = s ? s->getString("name") : llvm::None;
  llvm::json::Array *fields = s ? s->getArray("fields") : nullptr;
  if (!found || !fields || fields->empty())
    return "no fields";
  std::string name = found->str();
  const std::string forms[] = {"", "vector<", "map<string,"};
  const std::string &form = oneOf(rng, forms);
  std::string type = form + name + (form.empty() ? "" : ">");
  size_t field = below(rng, fields->size());
  if (llvm::json::Object *f = (*fields)[field].getAsObject())
    (*f)["type"] = type;
  std::string what =
      "recursive struct: field " + std::to_string(field) + " of " + name + " is " + type;
  if (below(rng, 2)) {
    *fields = llvm::json::Array{(*fields)[field]};
    what += ", its only field";
  }
  llvm::json::Array *actions = o->getArray("actions");
  if (below(rng, 2) && actions && !actions->empty())
    if (llvm::json::Object *a = (*actions)[0].getAsObject()) {
      (*a)["result"] = name;
      what += ", the result of the first action";
    }
  std::string out;
  llvm::raw_string_ostream os(out);
  os << *root;
  os.flush();
  text = out;
  return what;
}

// A piece of text and who must refuse a description holding it: every
// reader when it is not JSON by RFC 8259 or not as strictly as ctrrun reads
// JSON (leading zeros, "1.", unpaired surrogates, repeated member names);
// ctrrun when it gives another version.
using Refusal = DamagedContainer::Refusal;
constexpr Refusal Open = Refusal::None, NotJson = Refusal::EveryReader,
                  BadVersion = Refusal::Ctrrun;
struct Piece {
  std::string text;
  Refusal refused;
};

// Damage to the text itself, where a JSON tree cannot go.
std::string damageJsonText(std::string &text, Rng &rng, Refusal &refused) {
  auto insertAfter = [&](const std::string &anchor, const Piece &piece) {
    size_t at = text.find(anchor);
    if (at != std::string::npos) {
      text.insert(at + anchor.size(), piece.text);
      refused = piece.refused;
    }
    return llvm::toHex(piece.text);
  };
  auto replace = [&](const std::string &from, const Piece &piece) {
    size_t at = text.find(from);
    if (at != std::string::npos) {
      text.replace(at, from.size(), piece.text);
      refused = piece.refused;
    }
    return llvm::toHex(piece.text);
  };
  switch (below(rng, 9)) {
  case 0:
    text.resize(below(rng, text.size()));
    refused = NotJson;
    return "cut short at " + std::to_string(text.size());
  case 1: {
    const Piece garbage[] = {
        {"}", NotJson}, {" x", NotJson}, {"[]", NotJson}, {",", NotJson}, {"\n\n", Open}};
    const Piece &g = oneOf(rng, garbage);
    text += g.text;
    refused = g.refused;
    return "followed by " + llvm::toHex(g.text);
  }
  case 2: {
    const Piece repeated[] = {{"\"version\": 1, ", NotJson},
                              {"\"actions\": [], ", NotJson},
                              {"\"structs\": [], ", NotJson},
                              {"\"message\": \"again\", ", NotJson}};
    return "repeated member " + insertAfter("{", oneOf(rng, repeated));
  }
  case 3: {
    const size_t depths[] = {255, 256, 257, 20000};
    size_t depth = oneOf(rng, depths);
    insertAfter("{",
                {"\"deep\": " + std::string(depth, '[') + std::string(depth, ']') + ", ", Open});
    return "an array " + std::to_string(depth) + " deep";
  }
  case 4: {
    const Piece bytes[] = {{"\xff", NotJson},
                           {"\xc3", NotJson},
                           {"\xed\xa0\x80", NotJson},
                           {"\xf4\x90\x80\x80", NotJson},
                           {std::string(1, '\0'), NotJson},
                           {"\x01", NotJson}};
    return "message holds bytes " + insertAfter("\"message\": \"", oneOf(rng, bytes));
  }
  case 5: {
    const Piece escapes[] = {{"\\ud800", NotJson},
                             {"\\udfff\\ud800", NotJson},
                             {"\\u0000", Open},
                             {"\\x41", NotJson},
                             {"\\", Open}}; // "\r", with the r of the text
    return "message holds " + insertAfter("\"message\": \"", oneOf(rng, escapes));
  }
  case 6: {
    const Piece numbers[] = {
        {"01", NotJson},    {"1.0", Open},         {"1e0", Open},
        {"-0", BadVersion}, {"1e400", BadVersion}, {"18446744073709551617", BadVersion},
        {"2", BadVersion},  {"0x1", NotJson},      {"+1", NotJson},
        {"1.", NotJson},    {"-1", BadVersion},    {"NaN", NotJson}};
    const Piece &n = oneOf(rng, numbers);
    replace("\"version\": 1", {"\"version\": " + n.text, n.refused});
    return "version " + n.text;
  }
  case 7:
    text = "\xef\xbb\xbf" + text;
    return "byte order mark";
  default: {
    const Piece blanks[] = {{"\t", Open},
                            {"\v", NotJson},
                            {"\f", NotJson},
                            {"\r\n", Open},
                            {std::string(1, '\0'), NotJson}};
    return "a blank replaced by " + replace(" ", oneOf(rng, blanks));
  }
  }
}

std::string damageInterface(std::string &text, Rng &rng, Refusal &refused) {
  switch (below(rng, 5)) {
  case 0:
  case 1:
    return "interface: " + damageJsonTree(text, rng);
  case 2:
    return "interface: " + recursiveStruct(text, rng);
  default:
    return "interface: " + damageJsonText(text, rng, refused);
  }
}

std::string damageBytes(const char *what, std::string &content, Rng &rng) {
  switch (below(rng, 4)) {
  case 0:
    content.clear();
    return std::string(what) + ": emptied";
  case 1:
    content.resize(below(rng, content.size()));
    return std::string(what) + ": cut short at " + std::to_string(content.size());
  case 2: {
    std::string noise(1 + below(rng, 2000), '\0');
    for (char &c : noise)
      c = char(rng());
    content = noise;
    return std::string(what) + ": " + std::to_string(noise.size()) + " random bytes";
  }
  default:
    for (int i = 0; i < 10000; ++i)
      content += "0 f\n";
    return std::string(what) + ": 10000 more lines";
  }
}

//===----------------------------------------------------------------------===//
// The container
//===----------------------------------------------------------------------===//

constexpr size_t HeaderSize = 16, EntrySize = 56, DigestSize = 32;
constexpr uint32_t Stored = 0, Zlib = 1;
constexpr uint32_t FlagCompressed = 4;
constexpr uint64_t MaxContentSize = 64ull << 20;

struct Section {
  uint32_t kind = 0, encoding = 0;
  uint64_t stored = 0, original = 0;
  std::string sha256;
  std::string content; // uncompressed
  std::string bytes;   // as in the file
};

struct Image {
  std::string magic;
  uint32_t version = 0, flags = 0, count = 0;
  std::vector<Section> sections;
};

Image takeApart(const std::string &sound) {
  Image image;
  image.magic = sound.substr(0, 4);
  image.version = read32(sound, 4);
  image.flags = read32(sound, 8);
  image.count = read32(sound, 12);
  size_t at = HeaderSize + image.count * EntrySize + DigestSize;
  for (size_t i = 0; i < image.count; ++i) {
    size_t entry = HeaderSize + i * EntrySize;
    Section s;
    s.kind = read32(sound, entry);
    s.encoding = read32(sound, entry + 4);
    s.stored = read64(sound, entry + 8);
    s.original = read64(sound, entry + 16);
    s.sha256 = sound.substr(entry + 24, 32);
    s.bytes = sound.substr(at, s.stored);
    s.content = s.encoding == Zlib ? inflate(s.bytes, s.original) : s.bytes;
    at += s.stored;
    image.sections.push_back(s);
  }
  return image;
}

/// Lengths, digests and compression made right for the content, as ctrpack
/// makes them: zlib only where it makes the bytes smaller.
void sealSections(Image &image) {
  for (Section &s : image.sections) {
    s.bytes = s.content;
    if (s.encoding == Zlib) {
      std::string compressed = deflate(s.content);
      if (compressed.size() < s.content.size())
        s.bytes = compressed;
      else
        s.encoding = Stored;
    }
    s.stored = s.bytes.size();
    s.original = s.content.size();
    s.sha256 = sha256(s.content);
  }
  image.count = image.sections.size();
}

std::string putTogether(const Image &image) {
  std::string out = image.magic;
  put32(out, image.version);
  put32(out, image.flags);
  put32(out, image.count);
  for (const Section &s : image.sections) {
    put32(out, s.kind);
    put32(out, s.encoding);
    put64(out, s.stored);
    put64(out, s.original);
    out += s.sha256;
  }
  out += std::string(DigestSize, '\0');
  for (const Section &s : image.sections)
    out += s.bytes;
  return out;
}

/// The table digest where a reader looks for it, over what it reads as the
/// header and table: the count in the header decides, whatever the table
/// really holds.
void sealTable(std::string &bytes) {
  if (bytes.size() < HeaderSize)
    return;
  uint32_t count = read32(bytes, 12);
  if (count < 2 || count > 4)
    return;
  size_t end = HeaderSize + count * EntrySize;
  if (bytes.size() < end + DigestSize)
    return;
  bytes.replace(end, DigestSize, sha256(bytes.substr(0, end)));
}

Section &anySection(Image &image, Rng &rng) {
  return image.sections[below(rng, image.sections.size())];
}

/// A section whose bytes are zlib data, compressing the first one that
/// compresses when none is.
Section *zlibSection(Image &image) {
  for (Section &s : image.sections)
    if (s.encoding == Zlib)
      return &s;
  for (Section &s : image.sections) {
    std::string compressed = deflate(s.content);
    if (compressed.size() < s.content.size()) {
      s.encoding = Zlib;
      s.bytes = compressed;
      s.stored = compressed.size();
      image.flags |= FlagCompressed;
      return &s;
    }
  }
  return nullptr;
}

uint64_t lengthNear(uint64_t length, Rng &rng) {
  const uint64_t choices[] = {length - 1,
                              length + 1,
                              0,
                              ~0ull,
                              1ull << 63,
                              MaxContentSize,
                              MaxContentSize + 1,
                              length * 2,
                              length + 1 + below(rng, 1000)};
  return oneOf(rng, choices);
}

using TableDamage = std::function<std::string(Image &, Rng &)>;

struct NamedTableDamage {
  const char *name;
  TableDamage damage;
};

const NamedTableDamage TableDamages[] = {
    {"version",
     [](Image &image, Rng &rng) {
       const uint32_t choices[] = {0, 2, 0xffffffff};
       image.version = oneOf(rng, choices);
       return std::to_string(image.version);
     }},
    {"flags",
     [](Image &image, Rng &rng) {
       const uint32_t extra[] = {0, 8, 0x80000000};
       image.flags = uint32_t(below(rng, 8)) | oneOf(rng, extra);
       return hexNumber(image.flags);
     }},
    {"section count",
     [](Image &image, Rng &rng) {
       const uint32_t choices[] = {0, 1, 2, 3, 4, 5, 0xffffffff, image.count - 1, image.count + 1};
       image.count = oneOf(rng, choices);
       return std::to_string(image.count);
     }},
    {"section kind",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       const uint32_t choices[] = {0, 1, 2, 3, 4, 5, 0xffffffff};
       s.kind = oneOf(rng, choices);
       return std::to_string(s.kind);
     }},
    {"encoding",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       const uint32_t choices[] = {Stored, Zlib, 2, 0xffffffff};
       s.encoding = oneOf(rng, choices);
       return "kind " + std::to_string(s.kind) + " " + std::to_string(s.encoding);
     }},
    {"stored length",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       s.stored = lengthNear(s.stored, rng);
       return "kind " + std::to_string(s.kind) + " " + std::to_string(s.stored);
     }},
    {"original length",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       s.original = lengthNear(s.original, rng);
       return "kind " + std::to_string(s.kind) + " " + std::to_string(s.original);
     }},
    {"both lengths",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       s.stored = s.original = lengthNear(s.stored, rng);
       return "kind " + std::to_string(s.kind) + " " + std::to_string(s.stored);
     }},
    {"section digest",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       s.sha256[below(rng, s.sha256.size())] ^= char(1 << below(rng, 8));
       return "kind " + std::to_string(s.kind);
     }},
    {"section dropped",
     [](Image &image, Rng &rng) {
       if (image.sections.size() < 2)
         return std::string("the last one kept");
       size_t i = below(rng, image.sections.size());
       uint32_t kind = image.sections[i].kind;
       image.sections.erase(image.sections.begin() + i);
       image.count = image.sections.size();
       return "kind " + std::to_string(kind);
     }},
    {"section repeated",
     [](Image &image, Rng &rng) {
       size_t i = below(rng, image.sections.size());
       image.sections.insert(image.sections.begin() + i, image.sections[i]);
       image.count = image.sections.size();
       return "kind " + std::to_string(image.sections[i].kind);
     }},
    {"sections swapped",
     [](Image &image, Rng &rng) {
       if (image.sections.size() < 2)
         return std::string("one section");
       size_t i = below(rng, image.sections.size() - 1);
       std::swap(image.sections[i], image.sections[i + 1]);
       return "at " + std::to_string(i);
     }},
    {"compressed",
     [](Image &image, Rng &rng) {
       Section &s = anySection(image, rng);
       s.encoding = Zlib;
       s.bytes = deflate(s.content);
       s.stored = s.bytes.size();
       bool flag = below(rng, 2);
       if (flag)
         image.flags |= FlagCompressed;
       return "kind " + std::to_string(s.kind) + (flag ? " with" : " without") + " the flag";
     }},
    {"zlib data",
     [](Image &image, Rng &rng) {
       Section *s = zlibSection(image);
       if (!s || s->bytes.empty())
         return std::string("nothing compresses");
       size_t at = below(rng, s->bytes.size());
       s->bytes[at] = char(rng());
       return "kind " + std::to_string(s->kind) + " byte " + std::to_string(at);
     }},
    {"zlib original length",
     [](Image &image, Rng &rng) {
       Section *s = zlibSection(image);
       if (!s)
         return std::string("nothing compresses");
       s->original = lengthNear(s->original, rng);
       return "kind " + std::to_string(s->kind) + " " + std::to_string(s->original);
     }},
};

std::string damageFile(std::string &bytes, Rng &rng) {
  switch (below(rng, 4)) {
  case 0: {
    size_t tableEnd = HeaderSize + read32(bytes, 12) * size_t(EntrySize) + DigestSize;
    const size_t cuts[] = {below(rng, HeaderSize), below(rng, std::min(tableEnd, bytes.size())),
                           below(rng, bytes.size())};
    bytes.resize(oneOf(rng, cuts));
    return "file: cut short at " + std::to_string(bytes.size());
  }
  case 1: {
    size_t extra = 1 + below(rng, 64);
    for (size_t i = 0; i < extra; ++i)
      bytes += char(rng());
    return "file: " + std::to_string(extra) + " bytes appended";
  }
  case 2: {
    const std::string magics[] = {"CTRY", "ctrx", std::string("\0asm", 4), "CTR"};
    const std::string &m = oneOf(rng, magics);
    bytes.replace(0, 4, m);
    return "file: magic " + llvm::toHex(m);
  }
  default: {
    size_t at = HeaderSize + read32(bytes, 12) * size_t(EntrySize);
    if (at < bytes.size())
      bytes[at] ^= 0x20;
    return "file: table digest damaged";
  }
  }
}

} // namespace

DamagedContainer damageContainer(const std::string &sound, uint64_t seed) {
  Rng rng(seed);
  Image image = takeApart(sound);
  DamagedContainer out;

  bool content = below(rng, 10) < 6;
  if (content) {
    Section &s = anySection(image, rng);
    if (s.content.compare(0, 8, WasmHeader) == 0)
      out.steps.push_back(damageModule(s.content, rng));
    else if (s.kind == 2)
      out.steps.push_back(damageInterface(s.content, rng, out.refusal));
    else
      out.steps.push_back(damageBytes(s.kind == 3 ? "names" : "native image", s.content, rng));
  }
  sealSections(image);

  size_t tableDamages = content ? below(rng, 3) / 2 : 1 + below(rng, 2);
  for (size_t i = 0; i < tableDamages; ++i) {
    const NamedTableDamage &d = oneOf(rng, TableDamages);
    out.steps.push_back(std::string("table: ") + d.name + ": " + d.damage(image, rng));
  }
  out.bytes = putTogether(image);
  sealTable(out.bytes);

  if (below(rng, 8) == 0)
    out.steps.push_back(damageFile(out.bytes, rng));
  return out;
}

} // namespace zotest
