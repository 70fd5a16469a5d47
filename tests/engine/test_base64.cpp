// Base64 encoder and decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/base/base64.h"

USING_NS_CC;

TEST(Base64, Rfc4648VectorsBothWays) {
  const std::pair<std::string, std::string> vectors[] = {
      {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\0\xff\xfe", 3), "AP/+"},
  };
  for (const auto& [plain, coded] : vectors) {
    SCOPED_TRACE(coded);
    char* enc = nullptr;
    int n = safeBase64Encode(reinterpret_cast<const unsigned char*>(plain.data()),
                             static_cast<unsigned>(plain.size()), &enc);
    ASSERT_EQ(n, static_cast<int>(coded.size()));
    EXPECT_EQ(std::string(enc, n), coded);
    free(enc);

    unsigned char* dec = nullptr;
    n = safeBase64Decode(reinterpret_cast<const unsigned char*>(coded.data()),
                         static_cast<unsigned>(coded.size()), &dec);
    ASSERT_EQ(n, static_cast<int>(plain.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dec), n), plain);
    free(dec);

    EXPECT_EQ(safeBase64EncodeString(plain.data(), plain.size()), coded);
    EXPECT_EQ(safeBase64DecodeString(coded.data(), coded.size()), plain);
  }
}

TEST(Base64, DecoderLeniencyAndRejection) {
  struct Case {
    const char* in;
    bool ok;
    const char* out;
  };
  const Case cases[] = {
      {"Zm9v\r\nYmFy", true, "foobar"},     // line breaks skipped
      {" Zm 9v\tYg== ", true, "foob"},      // blanks and tabs skipped
      {"Zm9vYg", true, "foob"},             // missing padding
      {"Zm9vYmE", true, "fooba"},
      {"Zm9v!mFy", false, ""},              // invalid character
      {"<?xml version", false, ""},         // plain XML is noticed
      {"Zm9vY", false, ""},                 // a dangling sixth of a byte
      {"Zg==Zg==", false, ""},              // data after padding
      {"=Zg", false, ""},                   // padding first
      {"Zm9v-_", false, ""},                // URL-safe alphabet is not this one
      {"", false, ""},
      {"\r\n", false, ""},                  // nothing to decode
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    unsigned char* out = reinterpret_cast<unsigned char*>(0x1);
    int n = safeBase64Decode(reinterpret_cast<const unsigned char*>(c.in),
                             static_cast<unsigned>(strlen(c.in)), &out);
    if (c.ok) {
      ASSERT_GT(n, 0);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.out);
      free(out);
    } else {
      EXPECT_LE(n, 0);
      EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(safeBase64DecodeString(c.in, strlen(c.in)), c.out);
  }
}

TEST(Base64, EmptyInputEncodesToNothing) {
  char* out = reinterpret_cast<char*>(0x1);
  EXPECT_EQ(safeBase64Encode(reinterpret_cast<const unsigned char*>(""), 0, &out), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(safeBase64EncodeString("", 0), "");
}

TEST(Base64, LargeBinaryRoundTrip) {
  std::string blob(100003, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>((i * 131 + 7) & 0xff);
  std::string coded = safeBase64EncodeString(blob.data(), blob.size());
  EXPECT_EQ(coded.size(), (blob.size() + 2) / 3 * 4);
  EXPECT_EQ(safeBase64DecodeString(coded.data(), coded.size()), blob);
}
