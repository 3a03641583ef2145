#include "link/device_message.h"

namespace zindo {

namespace {

// Byte positions as the device counts them, from 1.
constexpr std::size_t kLengthByte = 1;
constexpr std::size_t kMarkByte = 12;
constexpr std::size_t kKeptByte = 13;
// What a synthetic reply carries in its mark byte, and in its kept byte when
// nothing could be kept.
constexpr uint8_t kSyntheticMark = 255;

std::string Bytes(std::initializer_list<uint8_t> values) {
  return std::string(values.begin(), values.end());
}

uint8_t ByteAt(const std::string& message, std::size_t position) {
  return static_cast<uint8_t>(message.at(position - 1));
}

}  // namespace

DevicePackets BuildDevicePackets() {
  return DevicePackets{
      .probe = Bytes(
          {16, 0, 129, 127, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 161, 192, 39, 114}),
      .reply_template = Bytes(
          {17, 0, 129, 63, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 184, 34, 10}),
  };
}

std::size_t ExpectedLength(const std::string& message) {
  return ByteAt(message, kLengthByte) + std::size_t{2};
}

bool IsEmptyFrame(const std::string& reply) {
  return !reply.empty() && ByteAt(reply, kLengthByte) == 0;
}

bool IsShortReply(const std::string& reply) {
  return !reply.empty() && reply.size() < ExpectedLength(reply);
}

std::string SyntheticReply(const DevicePackets& packets, uint8_t kept) {
  std::string reply = packets.reply_template;
  reply.at(kKeptByte - 1) = static_cast<char>(kept);
  reply.at(kMarkByte - 1) = static_cast<char>(kSyntheticMark);
  return reply;
}

std::string RepairShortReply(const DevicePackets& packets,
                             const std::string& reply) {
  const uint8_t kept =
      reply.size() >= kKeptByte ? ByteAt(reply, kKeptByte) : kSyntheticMark;
  return SyntheticReply(packets, kept);
}

}  // namespace zindo
