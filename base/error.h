#ifndef ZINDO_BASE_ERROR_H_
#define ZINDO_BASE_ERROR_H_

#include <stdexcept>
#include <string>

namespace zindo {

// What kind of failure an Error is, so that a caller can handle the one it
// expects and pass on the rest. Set from the system's error code by the
// platform; the message says the rest.
enum class ErrorKind {
  kOther,
  kNotFound,  // no entry, directory, drive or port under the name
  kExists,    // an entry already stands under the name
  kBusy,      // another program holds it (a serial port in use)
  kGone,      // the device went away while in use (an adapter unplugged)
};

// A failure of an operating-system service or of a step of the relay. The
// message names what failed and, where the system gave one, its error text,
// for example "open /dev/pts/3: Device or resource busy".
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, ErrorKind kind = ErrorKind::kOther)
      : std::runtime_error(message), kind_(kind) {}

  ErrorKind kind() const { return kind_; }
  bool Is(ErrorKind kind) const { return kind_ == kind; }

  // The same failure with `context` before its message: "<context><what()>".
  Error After(const std::string& context) const {
    return Error(context + what(), kind_);
  }

  // The same failure with `note` after its message: "<what()><note>".
  Error Before(const std::string& note) const {
    return Error(what() + note, kind_);
  }

 private:
  ErrorKind kind_;
};

// The kind of failure that the errno value `error_number` reports.
ErrorKind ErrorKindOfErrno(int error_number);

// Builds an Error from an errno value: "<what>: <strerror(error_number)>",
// of the kind the value reports.
Error SystemError(const std::string& what, int error_number);

}  // namespace zindo

#endif  // ZINDO_BASE_ERROR_H_
