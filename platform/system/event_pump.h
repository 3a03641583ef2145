#ifndef ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_H_
#define ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_H_

namespace zindo {

// What may cut a yield short.
enum class WakeOn {
  // A change in the working directory or bytes (or a hang-up) on the open
  // serial port: used by the polling loops, which look at both.
  kActivity,
  // Only the time limit: used by pauses, which look at nothing but the clock
  // and must not spin while bytes wait unread in the port.
  kTimeOnly,
};

// The platform's pending-event processing.
class EventPump {
 public:
  virtual ~EventPump() = default;

  // Processes pending events once and lets the rest of the system run. May
  // block for at most `max_wait_seconds` (never longer, so that a pause does
  // not overshoot); with WakeOn::kActivity it returns as soon as something
  // the relay watches has changed. Returns at once when `max_wait_seconds` is
  // 0 or less. Never fails.
  virtual void Yield(double max_wait_seconds, WakeOn wake_on) = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_SYSTEM_EVENT_PUMP_H_
