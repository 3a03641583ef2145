#ifndef ZINDO_BASE_ASCII_CASE_H_
#define ZINDO_BASE_ASCII_CASE_H_

#include <string>

namespace zindo {

// DOS names differ in case only in the ASCII letters; every other byte,
// Hebrew included, is compared as it stands, whatever the locale.
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

inline std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

}  // namespace zindo

#endif  // ZINDO_BASE_ASCII_CASE_H_
