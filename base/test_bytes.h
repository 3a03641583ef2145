#ifndef ZINDO_BASE_TEST_BYTES_H_
#define ZINDO_BASE_TEST_BYTES_H_

// For tests only: bytes written as their values, so that a message reads as
// the device's documents and the traces show it.

#include <initializer_list>
#include <string>
#include <vector>

namespace zindo {

// The bytes with these values, in order: Bytes({17, 0, 129}). Each value is
// taken modulo 256, as a byte stores it.
inline std::string Bytes(const std::vector<int>& values) {
  std::string bytes;
  for (const int value : values) bytes += static_cast<char>(value);
  return bytes;
}

inline std::string Bytes(std::initializer_list<int> values) {
  return Bytes(std::vector<int>(values));
}

}  // namespace zindo

#endif  // ZINDO_BASE_TEST_BYTES_H_
