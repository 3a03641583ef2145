#include "platform/serial/com_port_client.h"

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/test_bytes.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/serial/network_port.h"

namespace zindo {
namespace {

// IAC SB COM-PORT command value... IAC SE.
std::string Sub(int command, std::vector<int> value) {
  std::string sub = Bytes({255, 250, 44, command});
  for (int byte : value)
    sub += Bytes(byte == 255 ? std::vector{255, 255} : std::vector{byte});
  return sub + Bytes({255, 240});
}

const std::string kAccept = Bytes({255, 253, 44});  // DO COM-PORT

// Everything the client sends once the server takes COM Port Control, for
// 19200 baud, 8 data bits, no parity, 1 stop bit.
const std::string kSettings = Sub(1, {0, 0, 75, 0}) + Sub(2, {8}) +
                              Sub(3, {1}) + Sub(4, {1}) + Sub(5, {1}) +
                              Sub(5, {14}) + Sub(5, {8}) + Sub(5, {11}) +
                              Sub(10, {0}) + Sub(11, {0x80}) + Sub(12, {3});

const std::string kAcknowledgements = Sub(101, {0, 0, 75, 0}) + Sub(102, {8}) +
                                      Sub(103, {1}) + Sub(104, {1}) +
                                      Sub(112, {3});

struct Case {
  const char* name;
  std::string from_server;
  std::string data;
  std::string answers;
  bool settled = false;
  int modem_state = -1;  // none came
};

// Each case is fed whole and then byte by byte: a command split between two
// reads must come out the same.
TEST(ComPortClientTest, ServerBytesBecomeDataAnswersAndState) {
  const std::vector<Case> cases = {
      {"plain data", Bytes({'a', 13, 10, 0}), Bytes({'a', 13, 10, 0}), ""},
      {"escaped 0xFF", Bytes({1, 255, 255, 2}), Bytes({1, 255, 2}), ""},
      {"one-byte commands vanish", Bytes({1, 255, 241, 2, 255, 249}),
       Bytes({1, 2}), ""},
      {"answers to our own requests are not answered",
       Bytes({255, 253, 0, 255, 251, 0, 255, 253, 3, 255, 251, 3}), "", ""},
      {"unknown requests are refused", Bytes({255, 253, 24, 255, 251, 1}), "",
       Bytes({255, 252, 24, 255, 254, 1})},
      {"a repeated request is not answered twice",
       Bytes({255, 253, 0, 255, 253, 0}), "", ""},
      {"an option given up is answered",
       Bytes({255, 253, 0, 255, 254, 0, 255, 251, 3, 255, 252, 3}), "",
       Bytes({255, 252, 0, 255, 254, 3})},
      {"COM Port Control taken: the settings follow", kAccept, "", kSettings},
      {"settings acknowledged", kAccept + kAcknowledgements, "", kSettings,
       true},
      {"COM Port Control refused", Bytes({255, 254, 44}), "", "", true},
      {"modem state, data around it",
       "a" + kAccept + "b" + Sub(107, {0xB0}) + "c", "abc", kSettings, false,
       0xB0},
      {"modem state of 0xFF, escaped", kAccept + Sub(107, {255}), "", kSettings,
       false, 255},
      {"requests of a server to its client are passed over",
       Sub(0, {}) + Sub(1, {0, 0, 0, 0}) + "x", "x", ""},
      {"a subnegotiation cut short by a command",
       Bytes({255, 250, 44, 107, 0x80, 255, 253, 24, 'y'}), "y",
       Bytes({255, 252, 24})},
      {"an over-long subnegotiation is cut, not kept",
       Bytes({255, 250, 44}) + std::string(500, 'z') + Bytes({255, 240, 'k'}),
       "k", ""},
      {"another option's subnegotiation", Bytes({255, 250, 24, 1, 255, 240}),
       "", ""},
  };
  for (const Case& test : cases) {
    for (bool split : {false, true}) {
      SCOPED_TRACE(std::string(test.name) + (split ? ", split" : ""));
      ComPortClient client(LineSettings{});
      client.Start();
      std::string data;
      if (split) {
        for (char byte : test.from_server) {
          client.Receive(std::string(1, byte), data);
        }
      } else {
        client.Receive(test.from_server, data);
      }
      EXPECT_EQ(data, test.data);
      EXPECT_EQ(client.TakeAnswers(), test.answers);
      EXPECT_EQ(client.TakeAnswers(), "");
      EXPECT_EQ(client.Settled(), test.settled);
      const std::optional<uint8_t> modem_state = client.modem_state();
      EXPECT_EQ(modem_state ? int{*modem_state} : -1, test.modem_state);
    }
  }
}

TEST(ComPortClientTest, StartEscapeAndControl) {
  ComPortClient client(LineSettings{});
  EXPECT_EQ(client.Start(), Bytes({255, 251, 0, 255, 251, 3, 255, 251, 44, 255,
                                   253, 0, 255, 253, 3}));
  EXPECT_EQ(ComPortClient::Escape(Bytes({255, 0, 255, 255})),
            Bytes({255, 255, 0, 255, 255, 255, 255}));
  // RTS lowered before the server answers goes with the settings.
  EXPECT_EQ(client.SetControl(ComPortClient::kRtsOff), "");
  std::string data;
  client.Receive(kAccept, data);
  EXPECT_THAT(client.TakeAnswers(), ::testing::HasSubstr(Sub(5, {12})));
  EXPECT_EQ(client.SetControl(ComPortClient::kRtsOn), Sub(5, {11}));
}

TEST(NetworkAddressTest, ReadsWhatAUserWrites) {
  const struct {
    const char* text;
    const char* read;  // Text() of the address, or nullptr when refused
    const char* host;
  } cases[] = {
      {"rfc2217://nport.local:4001", "rfc2217://nport.local:4001",
       "nport.local"},
      {"RFC2217://10.0.0.7:4001/", "rfc2217://10.0.0.7:4001", "10.0.0.7"},
      {"tcp://[fe80::1]:23", "tcp://[fe80::1]:23", "fe80::1"},
      {"tcp://host:65535", "tcp://host:65535", "host"},
      {"tcp://host:65536", nullptr, ""},
      {"tcp://host:0", nullptr, ""},
      {"tcp://host:04001", nullptr, ""},
      {"tcp://host", nullptr, ""},
      {"tcp://:4001", nullptr, ""},
      {"tcp://fe80::1:23", nullptr, ""},
      {"tcp://user@host:23", nullptr, ""},
      {"telnet://host:23", nullptr, ""},
      {"/dev/ttyUSB0", nullptr, ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    if (test.read == nullptr) {
      EXPECT_THROW(ParseNetworkAddress(test.text), Error);
      continue;
    }
    const NetworkAddress address = ParseNetworkAddress(test.text);
    EXPECT_EQ(address.Text(), test.read);
    EXPECT_EQ(address.host, test.host);
  }
  EXPECT_TRUE(NamesNetworkPort("tcp://host:23"));
  EXPECT_FALSE(NamesNetworkPort("/dev/pts/3"));
}

}  // namespace
}  // namespace zindo
