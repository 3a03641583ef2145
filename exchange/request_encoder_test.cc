#include "exchange/request_encoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <vector>

#include "base/test_bytes.h"
#include "exchange/request_decoder.h"

namespace zindo {
namespace {

using ::testing::HasSubstr;

std::string Decode(const std::string& file) {
  StringByteSource source(file);
  return DecodeRequest(source);
}

// A device message of `body.size() + 2` bytes with its header.
std::string Message(const std::string& body) {
  return std::string{static_cast<char>(body.size()), 0} + body;
}

// The length of the shortest file that decodes to `message`, found by trying
// every way the decoder could read one, independently of the encoder. The
// header's two bytes may be coded as anything; trying every byte the
// message holds, 255 and one byte it does not hold covers every case.
class ShortestSearch {
 public:
  explicit ShortestSearch(const std::string& message) : message_(message) {
    candidates_.assign(message.begin() + 2, message.end());
    candidates_.push_back('\xff');
    for (int byte = 0; byte < 256; ++byte) {
      if (std::find(candidates_.begin(), candidates_.end(),
                    static_cast<char>(byte)) == candidates_.end()) {
        candidates_.push_back(static_cast<char>(byte));
        break;
      }
    }
  }

  int FileLength() { return 1 + Best(0, '\xff'); }

 private:
  bool Fits(std::size_t position, char byte) const {
    return position < 2 || message_[position] == byte;
  }

  int Best(std::size_t position, char previous) {
    if (position == message_.size()) return 0;
    const auto key = std::make_pair(position, previous);
    if (auto known = memo_.find(key); known != memo_.end()) {
      return known->second;
    }
    int best = INT_MAX / 2;
    for (char byte : candidates_) {
      if (byte != previous && Fits(position, byte)) {
        best = std::min(best, 1 + Best(position + 1, byte));
      }
    }
    for (std::size_t end = position;
         end < message_.size() && end - position < 253 && Fits(end, previous);
         ++end) {
      best = std::min(best, 2 + Best(end + 1, previous));
    }
    return memo_[key] = best;
  }

  std::string message_;
  std::string candidates_;
  std::map<std::pair<std::size_t, char>, int> memo_;
};

void ExpectShortestRoundTrip(const std::string& message) {
  const std::string file = EncodeRequest(message);
  EXPECT_EQ(Decode(file), message) << testing::PrintToString(message);
  EXPECT_EQ(static_cast<int>(file.size()), ShortestSearch(message).FileLength())
      << testing::PrintToString(message);
}

TEST(EncodeRequestTest, KnownMessagesGiveTheShortestFile) {
  const std::vector<std::pair<std::string, std::string>> examples = {
      // The header joins the run of 9s: as short as it gets (6 bytes).
      {Bytes({3, 0, 9, 7, 8}), Bytes({101, 9, 9, 4, 7, 8})},
      // 255 continues the byte before the first, so no literal is needed.
      {Bytes({2, 0, 255, 255}), Bytes({100, 255, 6})},
      {Bytes({0, 0}), Bytes({98, 255, 4})},
      // Two equal bytes need a marker; a run may end the message.
      {Bytes({4, 0, 1, 7, 7, 1}), Bytes({102, 1, 1, 4, 7, 7, 3, 1})},
      {Bytes({4, 0, 5, 6, 6, 6}), Bytes({102, 5, 5, 4, 6, 6, 4})},
      {Message(std::string(157, 42)), Bytes({255, 42, 42, 160})},
      {Message(std::string(157, '\xff')), Bytes({255, 255, 161})},
  };
  for (const auto& [message, file] : examples) {
    EXPECT_EQ(EncodeRequest(message), file) << testing::PrintToString(message);
  }
}

TEST(EncodeRequestTest, EveryLengthRoundTripsAtTheShortest) {
  for (std::size_t body = 0; body <= 157; ++body) {
    std::string counting;
    for (std::size_t i = 0; i < body; ++i) counting += static_cast<char>(i);
    std::string pairs;
    for (std::size_t i = 0; i < body; ++i) pairs += static_cast<char>(i / 2);
    for (const std::string& shape :
         {std::string(body, '\0'), std::string(body, '\xff'),
          std::string(body, static_cast<char>(body)), counting, pairs}) {
      if (Message(shape) == Bytes({1, 0, 0})) continue;  // refused below
      ExpectShortestRoundTrip(Message(shape));
    }
  }
}

// Few distinct byte values, so that runs of every length turn up, including
// leading 255s and runs that reach the end of the message.
TEST(EncodeRequestTest, RandomMessagesRoundTripAtTheShortest) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> body_length(0, 157);
  std::uniform_int_distribution<int> any_byte(0, 255);
  std::uniform_int_distribution<int> pick(0, 9);
  for (int iteration = 0; iteration < 3000; ++iteration) {
    const int rare = any_byte(random);
    const int repeat_odds = pick(random);
    std::string body;
    for (std::size_t i = body_length(random); i > 0; --i) {
      const int choice = pick(random);
      if (!body.empty() && choice < repeat_odds) {
        body += body.back();
      } else {
        const int values[] = {255, 0, 1, rare};
        body += static_cast<char>(values[choice % 4]);
      }
    }
    if (Message(body) == Bytes({1, 0, 0})) continue;  // refused below
    ExpectShortestRoundTrip(Message(body));
  }
}

TEST(EncodeRequestTest, RefusesMessagesTheRelayWouldNotSendAsGiven) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"", "2 to 159 bytes long, not 0"},
      {Bytes({0}), "not 1"},
      {Message(std::string(158, 1)), "not 160"},
      {std::string(159, 7), "header 157, 0, not 7, 7"},
      {Bytes({3, 1, 9, 7, 8}), "header 3, 0, not 3, 1"},
      {Bytes({1, 0, 0}), "quit request"},
  };
  for (const auto& [message, reason] : refused) {
    try {
      EncodeRequest(message);
      ADD_FAILURE() << "encoded " << testing::PrintToString(message);
    } catch (const UnsendableMessage& refusal) {
      EXPECT_THAT(refusal.what(), HasSubstr(reason));
    }
  }
}

}  // namespace
}  // namespace zindo
