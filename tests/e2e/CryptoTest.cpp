//===- CryptoTest.cpp - Hashes and signatures inside a contract -----------===//

#include "ContractTest.h"

namespace zotest {
namespace {

// The published test vectors of each algorithm, checked by a contract
// through the SDK.
TEST_F(ContractTest, HashesAndSignaturesMatchTheirTestVectors) {
  ASSERT_EQ(zo({"-o", "crypto.ctrx", contract("crypto.cpp").string()}).status, 0);
  struct Case {
    std::string action, arguments, result;
  } cases[] = {
      // FIPS 180-2.
      {"sha256", R"({"hex": ""})",
       "\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\""},
      {"sha256", R"({"hex": "616263"})",
       "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\""},
      // RFC 7693, BLAKE2b with a 32-byte digest.
      {"blake2b", R"({"hex": ""})",
       "\"0e5751c026e543b2e8ab2eb06099daa1d1e5df47778f7787faab45cdf12fe3a8\""},
      {"blake2b", R"({"hex": "616263"})",
       "\"bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319\""},
      // RFC 8032, tests 1 and 2, then test 2 with its message or its
      // signature changed.
      {"verify",
       R"({"signature": "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b", "message": "", "key": "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"})",
       "true"},
      {"verify",
       R"({"signature": "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00", "message": "72", "key": "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"})",
       "true"},
      {"verify",
       R"({"signature": "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00", "message": "73", "key": "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"})",
       "false"},
      {"verify",
       R"({"signature": "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c01", "message": "72", "key": "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"})",
       "false"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.action + " " + c.arguments.substr(0, 40));
    RunResult r = ctrrun({"crypto.ctrx", c.action, c.arguments});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.result + "\n");
  }
}

} // namespace
} // namespace zotest
