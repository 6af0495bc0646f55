// The C++ half of a contract whose digest and codec are in C (codec.c).
#include <corvane/contract.hpp>

#include <cstdint>

extern "C" uint32_t codec_digest(const unsigned char *data, size_t size);
extern "C" void codec_hex(const unsigned char *data, size_t size, char *out);

extern "C" void apply() {
  std::string in = corvane::input();
  auto bytes = reinterpret_cast<const unsigned char *>(in.data());
  std::string hex(2 * in.size(), '\0');
  codec_hex(bytes, in.size(), hex.data());
  corvane::output(hex + " " + std::to_string(codec_digest(bytes, in.size())));
}
