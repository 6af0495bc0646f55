//===- Container.cpp - Reading and writing .ctrx containers ---------------===//
//
// The reader trusts nothing in the file: every length is checked against
// what is left before it is used, sizes are bounded before anything is
// allocated, and a section's content is only handed out once its SHA-256
// matches.
//
//===----------------------------------------------------------------------===//

#include "Container.h"
#include "JsonText.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/Compression.h"
#include "llvm/Support/Endian.h"
#include "llvm/Support/Format.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/SHA256.h"

#include <algorithm>

using namespace llvm;
using namespace llvm::support;

namespace zo {

namespace {

const StringRef WasmHeader("\0asm\x01\0\0\0", 8);
const StringRef NativeImageMagic("\0aot", 4);
Error makeError(const Twine &Message) {
  return createStringError(inconvertibleErrorCode(), Message);
}

Digest sha256(StringRef Content) { return SHA256::hash(arrayRefFromStringRef(Content)); }

bool isKnownKind(uint32_t Kind) {
  return Kind >= uint32_t(SectionKind::Code) && Kind <= uint32_t(SectionKind::Module);
}

bool isCodeKind(SectionKind Kind) {
  return Kind == SectionKind::Code || Kind == SectionKind::Module;
}

Error checkFlags(uint32_t Flags) {
  if (Flags & ~ctrx::KnownFlags)
    return makeError("unknown flags 0x" + utohexstr(Flags & ~ctrx::KnownFlags));
  if ((Flags & ctrx::FlagNativeImage) && (Flags & ctrx::FlagJit))
    return makeError("a native image cannot be meant for the JIT");
  return Error::success();
}

/// The sections a container with \p Flags must and may hold, given the kinds
/// it has, in increasing order.
Error checkSectionSet(uint32_t Flags, ArrayRef<SectionKind> Kinds) {
  auto Has = [&](SectionKind Kind) { return is_contained(Kinds, Kind); };
  if (!Has(SectionKind::Code))
    return makeError("no code section");
  if (!Has(SectionKind::Interface))
    return makeError("no interface section");
  bool Native = Flags & ctrx::FlagNativeImage;
  if (Native && !Has(SectionKind::Module))
    return makeError("a native image needs its module section");
  if (!Native && Has(SectionKind::Module))
    return makeError("a module section without a native image");
  return Error::success();
}

Error checkWasm(StringRef What, StringRef Content) {
  if (!Content.startswith(WasmHeader))
    return makeError(What + " is not a WebAssembly module (version 1)");
  return Error::success();
}

void appendLE32(std::string &Out, uint32_t Value) {
  char Bytes[4];
  endian::write32le(Bytes, Value);
  Out.append(Bytes, 4);
}

void appendLE64(std::string &Out, uint64_t Value) {
  char Bytes[8];
  endian::write64le(Bytes, Value);
  Out.append(Bytes, 8);
}

struct Entry {
  SectionKind Kind;
  SectionEncoding Encoding;
  uint64_t Stored;
  uint64_t Original;
  Digest Sha256;
};

/// Reads the section table entry \p Index at \p P and checks what can be
/// checked without the section's bytes.
Expected<Entry> readEntry(const uint8_t *P, uint32_t Index, uint32_t Flags) {
  uint32_t Kind = endian::read32le(P);
  uint32_t Encoding = endian::read32le(P + 4);
  if (!isKnownKind(Kind))
    return makeError("section " + Twine(Index) + ": unknown kind " + Twine(Kind));
  Entry E{SectionKind(Kind),
          SectionEncoding(Encoding),
          endian::read64le(P + 8),
          endian::read64le(P + 16),
          {}};
  std::copy(P + 24, P + 24 + ctrx::DigestSize, E.Sha256.begin());

  std::string Name = sectionKindName(E.Kind) + " section";
  if (E.Original > ctrx::MaxContentSize)
    return makeError(Name + ": content of " + Twine(E.Original) + " bytes exceeds the limit of " +
                     Twine(ctrx::MaxContentSize) + " bytes");
  switch (E.Encoding) {
  case SectionEncoding::Stored:
    if (E.Stored != E.Original)
      return makeError(Name + ": stored length " + Twine(E.Stored) +
                       " differs from its original length " + Twine(E.Original));
    break;
  case SectionEncoding::Zlib:
    if (!isCodeKind(E.Kind))
      return makeError(Name + ": only code may be compressed");
    if (!(Flags & ctrx::FlagCompressed))
      return makeError(Name + ": compressed without the compressed flag");
    if (E.Stored >= E.Original)
      return makeError(Name + ": compressed length " + Twine(E.Stored) +
                       " is not below its original length " + Twine(E.Original));
    break;
  default:
    return makeError(Name + ": unknown encoding " + Twine(Encoding));
  }
  return E;
}

Expected<std::string> decode(const Entry &E, StringRef Stored) {
  if (E.Encoding == SectionEncoding::Stored)
    return Stored.str();
  if (!zlib::isAvailable())
    return makeError("zlib is not available to decompress the " + sectionKindName(E.Kind) +
                     " section");
  // Original is bounded by MaxContentSize, and zlib stops at the end of
  // this buffer: no stream can make this allocate or write more.
  std::string Content(size_t(E.Original), '\0');
  size_t Size = Content.size();
  if (Error Err = zlib::uncompress(Stored, &Content[0], Size))
    return makeError(sectionKindName(E.Kind) +
                     " section: corrupt zlib data: " + toString(std::move(Err)));
  if (Size != E.Original)
    return makeError(sectionKindName(E.Kind) + " section: decompressed to " + Twine(Size) +
                     " bytes, the table says " + Twine(E.Original));
  return Content;
}

} // namespace

const Section *Container::find(SectionKind Kind) const {
  for (const Section &S : Sections)
    if (S.Kind == Kind)
      return &S;
  return nullptr;
}

std::string sectionKindName(SectionKind Kind) {
  switch (Kind) {
  case SectionKind::Code:
    return "code";
  case SectionKind::Interface:
    return "interface";
  case SectionKind::Names:
    return "names";
  case SectionKind::Module:
    return "module";
  }
  return "kind " + std::to_string(uint32_t(Kind));
}

StringRef encodingName(SectionEncoding Encoding) {
  return Encoding == SectionEncoding::Zlib ? "zlib" : "stored";
}

std::string describeFlags(uint32_t Flags) {
  std::vector<StringRef> Words;
  if (Flags & ctrx::FlagNativeImage)
    Words.push_back("native-image");
  if (Flags & ctrx::FlagJit)
    Words.push_back("jit");
  if (Flags & ctrx::FlagCompressed)
    Words.push_back("compressed");
  return Words.empty() ? "none" : join(Words, " ");
}

Error checkContent(SectionKind Kind, uint32_t Flags, StringRef Content) {
  switch (Kind) {
  case SectionKind::Code:
    if (Flags & ctrx::FlagNativeImage) {
      if (!Content.startswith(NativeImageMagic))
        return makeError("the code is not a native image (no \\0aot magic)");
      return Error::success();
    }
    return checkWasm("the code", Content);
  case SectionKind::Module:
    return checkWasm("the module", Content);
  case SectionKind::Interface: {
    if (jsonDepth(Content, MaxJsonDepth) > MaxJsonDepth)
      return makeError("the interface description nests deeper than " + Twine(MaxJsonDepth) +
                       " levels");
    Expected<json::Value> Parsed = json::parse(Content);
    if (!Parsed)
      return makeError("the interface description is not JSON: " + toString(Parsed.takeError()));
    // Read as strictly as all of ctrrun's JSON: LLVM's parser keeps the last
    // of repeated member names, where another reader of the same container
    // may keep the first and see other actions.
    if (Error E = checkJsonText(Content, *Parsed)) {
      StringRef Where = E.isA<json::ParseError>() ? "the interface description is not JSON: "
                                                  : "in the interface description, ";
      return makeError(Where + toString(std::move(E)));
    }
    return Error::success();
  }
  case SectionKind::Names:
    return Error::success();
  }
  return makeError("unknown section kind " + Twine(uint32_t(Kind)));
}

Expected<Container> readContainer(StringRef Bytes) {
  const uint8_t *Base = Bytes.bytes_begin();
  uint64_t Size = Bytes.size();
  if (Size >= 4 && !Bytes.startswith(StringRef(ctrx::Magic, 4)))
    return makeError("not a contract container (bad magic)");
  if (Size < ctrx::HeaderSize)
    return makeError("truncated header (" + Twine(Size) + " bytes)");
  uint32_t Version = endian::read32le(Base + 4);
  if (Version != ctrx::Version)
    return makeError("unsupported format version " + Twine(Version) +
                     " (this reader knows version " + Twine(ctrx::Version) + ")");
  Container C;
  C.Flags = endian::read32le(Base + 8);
  if (Error E = checkFlags(C.Flags))
    return E;
  uint32_t Count = endian::read32le(Base + 12);
  if (Count < 2 || Count > 4)
    return makeError("bad section count " + Twine(Count));

  // Count is at most 4: this cannot overflow.
  uint64_t TableEnd = ctrx::HeaderSize + uint64_t(Count) * ctrx::EntrySize;
  if (Size < TableEnd + ctrx::DigestSize)
    return makeError("truncated section table (" + Twine(Size) + " bytes)");

  std::vector<Entry> Entries;
  std::vector<SectionKind> Kinds;
  for (uint32_t I = 0; I < Count; ++I) {
    Expected<Entry> E = readEntry(Base + ctrx::HeaderSize + I * ctrx::EntrySize, I, C.Flags);
    if (!E)
      return E.takeError();
    if (!Kinds.empty() && E->Kind <= Kinds.back())
      return makeError(E->Kind == Kinds.back()
                           ? "duplicate " + sectionKindName(E->Kind) + " section"
                           : sectionKindName(E->Kind) + " section out of order");
    Kinds.push_back(E->Kind);
    Entries.push_back(*E);
  }
  if (Error E = checkSectionSet(C.Flags, Kinds))
    return E;
  Digest TableDigest = sha256(Bytes.take_front(TableEnd));
  if (!std::equal(TableDigest.begin(), TableDigest.end(), Base + TableEnd))
    return makeError("table digest mismatch: the header or section table "
                     "is corrupt");

  uint64_t Offset = TableEnd + ctrx::DigestSize;
  for (const Entry &E : Entries) {
    // Offset never exceeds Size, so Size - Offset is what is left.
    if (E.Stored > Size - Offset)
      return makeError(sectionKindName(E.Kind) + " section: " + Twine(E.Stored) +
                       " bytes at offset " + Twine(Offset) +
                       " run past the end of the container (" + Twine(Size) + " bytes)");
    Expected<std::string> Content = decode(E, Bytes.substr(size_t(Offset), size_t(E.Stored)));
    if (!Content)
      return Content.takeError();
    if (sha256(*Content) != E.Sha256)
      return makeError(sectionKindName(E.Kind) +
                       " section: SHA-256 mismatch, the content is corrupt");
    if (Error Err = checkContent(E.Kind, C.Flags, *Content))
      return Err;
    Offset += E.Stored;
    C.Sections.push_back(Section{E.Kind, E.Encoding, E.Stored, E.Sha256, std::move(*Content)});
  }
  if (Offset != Size)
    return makeError(Twine(Size - Offset) + " unexpected bytes after the last section");
  return C;
}

Expected<std::string> writeContainer(uint32_t Flags, ArrayRef<SectionInput> Inputs) {
  if (Error E = checkFlags(Flags))
    return E;
  std::vector<SectionInput> Sorted(Inputs.begin(), Inputs.end());
  llvm::stable_sort(Sorted,
                    [](const SectionInput &A, const SectionInput &B) { return A.Kind < B.Kind; });
  std::vector<SectionKind> Kinds;
  for (const SectionInput &In : Sorted) {
    if (!isKnownKind(uint32_t(In.Kind)))
      return makeError("unknown section kind " + Twine(uint32_t(In.Kind)));
    if (!Kinds.empty() && Kinds.back() == In.Kind)
      return makeError("duplicate " + sectionKindName(In.Kind) + " section");
    Kinds.push_back(In.Kind);
  }
  if (Error E = checkSectionSet(Flags, Kinds))
    return E;

  std::string Table, Data;
  for (const SectionInput &In : Sorted) {
    if (In.Content.size() > ctrx::MaxContentSize)
      return makeError(sectionKindName(In.Kind) + ": " + Twine(In.Content.size()) +
                       " bytes exceed the limit of " + Twine(ctrx::MaxContentSize) + " bytes");
    if (Error E = checkContent(In.Kind, Flags, In.Content))
      return E;

    StringRef Stored = In.Content;
    SectionEncoding Encoding = SectionEncoding::Stored;
    SmallVector<char, 0> Compressed;
    if ((Flags & ctrx::FlagCompressed) && isCodeKind(In.Kind)) {
      if (!zlib::isAvailable())
        return makeError("zlib compression is not available");
      if (Error E = zlib::compress(In.Content, Compressed, zlib::BestSizeCompression))
        return E;
      if (Compressed.size() < In.Content.size()) {
        Stored = StringRef(Compressed.data(), Compressed.size());
        Encoding = SectionEncoding::Zlib;
      }
    }
    Digest Sha = sha256(In.Content);
    appendLE32(Table, uint32_t(In.Kind));
    appendLE32(Table, uint32_t(Encoding));
    appendLE64(Table, Stored.size());
    appendLE64(Table, In.Content.size());
    Table.append(Sha.begin(), Sha.end());
    Data += Stored;
  }

  std::string Out(ctrx::Magic, 4);
  appendLE32(Out, ctrx::Version);
  appendLE32(Out, Flags);
  appendLE32(Out, uint32_t(Sorted.size()));
  Out += Table;
  Digest TableDigest = sha256(Out);
  Out.append(TableDigest.begin(), TableDigest.end());
  Out += Data;
  return Out;
}

} // namespace zo
