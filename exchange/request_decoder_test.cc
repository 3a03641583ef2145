#include "exchange/request_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "base/test_bytes.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

// Hands out bytes and counts how many were taken.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<uint8_t> Next() override {
    if (taken_ >= bytes_.size()) return std::nullopt;
    return static_cast<uint8_t>(bytes_[taken_++]);
  }
  std::size_t taken() const { return taken_; }

 private:
  std::string bytes_;
  std::size_t taken_ = 0;
};

std::string Decode(const std::string& file) {
  StringByteSource source(file);
  return DecodeRequest(source);
}

struct Example {
  const char* name;
  std::vector<int> file;
  std::vector<int> sent;
  friend void PrintTo(const Example& example, std::ostream* out) {
    *out << example.name;
  }
};

class DecodeExampleTest : public ::testing::TestWithParam<Example> {};

TEST_P(DecodeExampleTest, DecodesToTheMessageSent) {
  EXPECT_EQ(Decode(Bytes(GetParam().file)), Bytes(GetParam().sent));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DecodeExampleTest,
    ::testing::Values(
        Example{"ShortFormAsWritten", {1, 5, 6}, {1, 5, 6}},
        Example{"ShortFormIgnoresTheRest", {1, 0, 0, 13, 10}, {1, 0, 0}},
        Example{"RunOfThree", {101, 9, 9, 4, 7, 8}, {3, 0, 9, 7, 8}},
        // 255 equals the byte assumed before the first, so it opens a run.
        Example{"LeadingRunOf255", {100, 255, 6}, {2, 0, 255, 255}},
        // Whatever the stream puts first is replaced by the header, which
        // here makes the quit request.
        Example{"HeaderMakesQuitRequest", {99, 7, 8, 0}, {1, 0, 0}},
        // Counts of 2 or less add nothing; the byte stays the one to repeat.
        Example{"CountsBelowThreeAddNothing",
                {100, 7, 7, 0, 7, 1, 8, 8, 2, 9, 10},
                {2, 0, 9, 10}},
        Example{"RunFillingTheMessageExactly", {99, 7, 7, 4}, {1, 0, 7}},
        Example{"ShortestEncoded", {98, 5, 6}, {0, 0}},
        Example{"ZeroesAndAllBytesPassThrough",
                {102, 0, 0, 3, 255, 128, 0, 1},
                {4, 0, 255, 128, 0, 1}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(DecodeRequestTest, LongestMessageIsOneRun) {
  // 159 bytes of 42: the byte, the byte again, and 158 + 2.
  const std::string message = Decode(Bytes({255, 42, 42, 160}));
  ASSERT_EQ(message.size(), 159u);
  EXPECT_EQ(message.substr(0, 2), Bytes({157, 0}));
  EXPECT_EQ(message.substr(2), std::string(157, 42));
}

TEST(DecodeRequestTest, ReadsNoFurtherThanTheMessageNeeds) {
  for (const auto& [file, needed] :
       std::vector<std::pair<std::string, std::size_t>>{
           {Bytes({1, 5, 6, 13, 10}), 3},
           {Bytes({101, 9, 9, 4, 7, 8, 99, 99}), 6},
           {Bytes({99, 7, 7, 4, 1, 2}), 4}}) {
    CountingSource source(file);
    DecodeRequest(source);
    EXPECT_EQ(source.taken(), needed) << testing::PrintToString(file);
  }
}

struct Bad {
  const char* name;
  std::vector<int> file;
  const char* reason;
  friend void PrintTo(const Bad& bad, std::ostream* out) { *out << bad.name; }
};

class BadRequestTest : public ::testing::TestWithParam<Bad> {};

TEST_P(BadRequestTest, IsRefusedWithItsReason) {
  try {
    Decode(Bytes(GetParam().file));
    FAIL() << "decoded";
  } catch (const BadRequest& bad) {
    EXPECT_THAT(bad.what(), HasSubstr(GetParam().reason));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadRequestTest,
    ::testing::Values(
        Bad{"Empty", {}, "after 0 bytes, without a first byte"},
        Bad{"FirstByteZero", {0, 1, 2, 3}, "first byte 0"},
        Bad{"FirstByteTwo", {2, 1, 2, 3}, "first byte 2"},
        Bad{"LengthOne", {97, 1, 2, 3}, "first byte 97"},
        Bad{"ShortFormCutShort", {1, 0}, "without byte 3 of 3"},
        Bad{"StreamRunsOut", {101, 9, 9, 4, 7}, "without byte 5 of 5"},
        Bad{"RunMarkerWithoutCount", {101, 9, 9}, "without the count of a run"},
        Bad{"RunPastTheEnd",
            {99, 7, 7, 9},
            "reaches past the message's length"},
        Bad{"RunOneTooLong", {99, 7, 7, 5}, "reaches past"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace zindo
