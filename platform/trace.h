#ifndef ZINDO_PLATFORM_TRACE_H_
#define ZINDO_PLATFORM_TRACE_H_

#include <string>

namespace zindo {

// A log of what passes through the relay, kept only when the user asks for
// one, for looking into a problem with the companion or the device. Without
// it the relay writes no log at all.
class Trace {
 public:
  virtual ~Trace() = default;

  // Whether events are kept. Callers may skip describing an event when not.
  virtual bool enabled() const = 0;

  // Appends one line: the time of day to the millisecond, then `event`.
  // Never throws and never holds the relay up: a trace that cannot be written
  // is reported once as a diagnostic and then no longer kept.
  virtual void Record(const std::string& event) = 0;
};

// The trace that keeps nothing.
class NoTrace : public Trace {
 public:
  bool enabled() const override { return false; }
  void Record(const std::string&) override {}
};

// Bytes as decimal values separated by spaces, for trace lines.
std::string DecimalBytes(const std::string& bytes);

}  // namespace zindo

#endif  // ZINDO_PLATFORM_TRACE_H_
