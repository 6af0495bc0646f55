//===- Optimize.cpp - Size optimization with binaryen ---------------------===//
//
// Binaryen runs in a child process. It ends the process on input it cannot
// handle and overflows its stack on deeply nested code, valid as that code
// may be; in a child, either becomes an error that binpolish reports while
// the module on disk stays as it was.  Modules come nested at most
// MaxBlockDepth levels deep, and binaryen runs on stacks large enough for
// that many, whatever the stack limit binpolish was started with.
//
//===----------------------------------------------------------------------===//

#include "Optimize.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace llvm;

namespace binpolish {
namespace {

// Exit codes of the child, away from binaryen's own EXIT_FAILURE.
enum ChildExit {
  ChildDone = 0,
  ChildRejectedInput = 70,
  ChildInvalidOutput = 71,
  ChildWriteFailed = 72,
};

// -Oz runs to a fixed point only rarely in one go; a few more rounds still
// pay on contracts and stop as soon as one gains nothing.
constexpr int MaxRounds = 4;

// Binaryen's stack for its own threads and the one that drives it.  It
// recurses once per nesting level in places, about 600 bytes a level for
// nested ifs: the default 8 MiB (2 MiB for threads under an unlimited stack
// limit) held 13,000 levels, this holds ten times MaxBlockDepth.  Only the
// pages used are ever touched.
constexpr size_t BinaryenStackSize = 64 << 20;

bool writeAll(int FD, const char *Data, size_t Size) {
  while (Size) {
    ssize_t Written = ::write(FD, Data, Size);
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      return false;
    Data += Written;
    Size -= Written;
  }
  return true;
}

std::vector<char> encode(BinaryenModuleRef M) {
  BinaryenModuleAllocateAndWriteResult R =
      BinaryenModuleAllocateAndWrite(M, /*sourceMapUrl=*/nullptr);
  const char *Binary = static_cast<const char *>(R.binary);
  std::vector<char> Result(Binary, Binary + R.binaryBytes);
  std::free(R.binary);
  std::free(R.sourceMap);
  return Result;
}

ChildExit optimizeInChild(std::vector<char> &Module, BinaryenFeatures Features, int OutFD) {
  BinaryenModuleRef M = BinaryenModuleRead(Module.data(), Module.size());
  BinaryenModuleSetFeatures(M, Features);
  if (!BinaryenModuleValidate(M))
    return ChildRejectedInput;

  BinaryenSetOptimizeLevel(2);
  BinaryenSetShrinkLevel(2);
  BinaryenSetDebugInfo(false);
  std::vector<char> Best = std::move(Module);
  for (int Round = 0; Round < MaxRounds; ++Round) {
    BinaryenModuleOptimize(M);
    if (!BinaryenModuleValidate(M))
      return ChildInvalidOutput;
    std::vector<char> Encoded = encode(M);
    if (Encoded.size() >= Best.size())
      break;
    Best = std::move(Encoded);
  }
  return writeAll(OutFD, Best.data(), Best.size()) ? ChildDone : ChildWriteFailed;
}

[[noreturn]] void runChild(std::vector<char> &Module, BinaryenFeatures Features, int OutFD) {
  // Every thread made from here on, binaryen's workers too, gets the stack.
  pthread_attr_t Attributes;
  if (pthread_attr_init(&Attributes) == 0) {
    if (pthread_attr_setstacksize(&Attributes, BinaryenStackSize) == 0)
      pthread_setattr_default_np(&Attributes);
    pthread_attr_destroy(&Attributes);
  }
  ChildExit Exit = ChildDone;
  std::thread([&] { Exit = optimizeInChild(Module, Features, OutFD); }).join();
  _exit(Exit);
}

Error childFailure(int Status) {
  if (WIFSIGNALED(Status))
    return createStringError(inconvertibleErrorCode(), "binaryen crashed (%s)",
                             strsignal(WTERMSIG(Status)));
  switch (WEXITSTATUS(Status)) {
  case ChildRejectedInput:
    return createStringError(inconvertibleErrorCode(), "binaryen rejects the module");
  case ChildInvalidOutput:
    return createStringError(inconvertibleErrorCode(), "binaryen produced an invalid module");
  case ChildWriteFailed:
    return createStringError(inconvertibleErrorCode(), "binaryen's result could not be passed on");
  default:
    return createStringError(inconvertibleErrorCode(), "binaryen failed (exit status %d)",
                             WEXITSTATUS(Status));
  }
}

} // namespace

Expected<std::vector<char>> optimizeModule(std::vector<char> Module, BinaryenFeatures Features) {
  int Pipe[2];
  if (::pipe(Pipe) != 0)
    return errorCodeToError(std::error_code(errno, std::generic_category()));
  pid_t Child = ::fork();
  if (Child < 0) {
    std::error_code EC(errno, std::generic_category());
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    return errorCodeToError(EC);
  }
  if (Child == 0) {
    ::close(Pipe[0]);
    runChild(Module, Features, Pipe[1]);
  }

  ::close(Pipe[1]);
  std::vector<char> Result;
  std::error_code ReadError;
  char Chunk[65536];
  for (;;) {
    ssize_t Read = ::read(Pipe[0], Chunk, sizeof(Chunk));
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read < 0)
      ReadError = std::error_code(errno, std::generic_category());
    if (Read <= 0)
      break;
    Result.insert(Result.end(), Chunk, Chunk + Read);
  }
  ::close(Pipe[0]);

  int Status = 0;
  while (::waitpid(Child, &Status, 0) < 0) {
    if (errno != EINTR)
      return errorCodeToError(std::error_code(errno, std::generic_category()));
  }
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != ChildDone)
    return childFailure(Status);
  if (ReadError)
    return errorCodeToError(ReadError);
  if (Result.empty())
    return createStringError(inconvertibleErrorCode(), "binaryen returned no module");
  return Result;
}

} // namespace binpolish
