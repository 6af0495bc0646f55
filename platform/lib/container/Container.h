//===- Container.h - The .ctrx contract container -------------------------===//
//
// A .ctrx file carries everything a deployed contract needs: its code (a
// WebAssembly module or a native image), its interface description and,
// optionally, its function names and the module a native image came from.
// ctrpack writes containers; ctrpack, ctrrun and the fuzz target read them
// with this one reader.
//
// Layout (all integers little-endian, fixed width):
//
//   header, 16 bytes
//     0   magic      "CTRX"
//     4   version    u32, 1
//     8   flags      u32: 1 native image, 2 jit, 4 compressed; no other bit
//     12  count      u32, number of sections (2..4)
//   section table, count entries of 56 bytes
//     0   kind       u32: 1 code, 2 interface, 3 names, 4 module
//     4   encoding   u32: 0 stored, 1 zlib
//     8   stored     u64, length of the section's bytes in the file
//     16  original   u64, length of the content (== stored when stored)
//     24  sha256     32 bytes, SHA-256 of the content
//   table digest, 32 bytes: SHA-256 of the header and the section table
//   the sections' bytes, in table order, back to back, to the end of file
//
// Sections come in increasing kind order, each kind at most once.  code and
// interface are always present, module exactly when the native-image flag
// is set.  Only code and module may be zlib-compressed, only when the
// compressed flag is set, and only when that made them smaller.
//
//===----------------------------------------------------------------------===//

#ifndef ZO_CONTAINER_CONTAINER_H
#define ZO_CONTAINER_CONTAINER_H

#include "llvm/ADT/ArrayRef.h"
#include "llvm/ADT/StringRef.h"
#include "llvm/Support/Error.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zo {

enum class SectionKind : uint32_t {
  Code = 1,
  Interface = 2,
  Names = 3,
  Module = 4,
};

enum class SectionEncoding : uint32_t {
  Stored = 0,
  Zlib = 1,
};

namespace ctrx {
constexpr char Magic[4] = {'C', 'T', 'R', 'X'};
constexpr uint32_t Version = 1;
constexpr uint32_t FlagNativeImage = 1;
constexpr uint32_t FlagJit = 2;
constexpr uint32_t FlagCompressed = 4;
constexpr uint32_t KnownFlags = FlagNativeImage | FlagJit | FlagCompressed;
constexpr size_t HeaderSize = 16;
constexpr size_t EntrySize = 56;
constexpr size_t DigestSize = 32;
// No section's content may exceed this, whatever its header claims: it
// bounds what a hostile container can make a reader allocate.
constexpr uint64_t MaxContentSize = 64ull << 20;
} // namespace ctrx

using Digest = std::array<uint8_t, 32>;

struct Section {
  SectionKind Kind;
  SectionEncoding Encoding = SectionEncoding::Stored;
  uint64_t StoredSize = 0;
  Digest Sha256{};
  std::string Content; // always the uncompressed, hash-checked content
};

struct Container {
  uint32_t Flags = 0;
  std::vector<Section> Sections; // in kind order

  bool isNativeImage() const { return Flags & ctrx::FlagNativeImage; }
  bool isJit() const { return Flags & ctrx::FlagJit; }
  bool isCompressed() const { return Flags & ctrx::FlagCompressed; }
  /// The section of \p Kind, or null when the container has none.
  const Section *find(SectionKind Kind) const;
};

/// What the writer packs: contents by kind, in any order.
struct SectionInput {
  SectionKind Kind;
  llvm::StringRef Content;
};

/// Parses and checks a whole container: structure, digests, decompression
/// and the content checks of checkContent.  Never reads past \p Bytes and
/// never allocates more than MaxContentSize per section.
llvm::Expected<Container> readContainer(llvm::StringRef Bytes);

/// Builds a container from \p Inputs under the same rules the reader
/// enforces.  With FlagCompressed in \p Flags the code and module sections
/// are compressed where that makes them smaller.  Deterministic: the same
/// arguments give the same bytes.
llvm::Expected<std::string> writeContainer(uint32_t Flags, llvm::ArrayRef<SectionInput> Inputs);

/// What a section's content must look like in a container with \p Flags:
/// WebAssembly modules start with "\0asm" version 1, a native image with
/// "\0aot", the interface description is JSON.
llvm::Error checkContent(SectionKind Kind, uint32_t Flags, llvm::StringRef Content);

/// "code", "interface", "names", "module"; "kind N" for any other value.
std::string sectionKindName(SectionKind Kind);
/// "stored" or "zlib".
llvm::StringRef encodingName(SectionEncoding Encoding);
/// The flags as words: "native-image", "jit", "compressed"; "none".
std::string describeFlags(uint32_t Flags);

} // namespace zo

#endif
