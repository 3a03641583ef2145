#include "tools/devsim/player.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "link/device_message.h"
#include "platform/system/clock-posix.h"

namespace zindo::tools {
namespace {

// While no one has the slave side open the master cannot tell us when
// someone does, so the player looks again this often.
constexpr double kClosedPortTickSeconds = 0.1;
// How long a write may wait for room on the line before it is given up.
constexpr int kWriteStallMilliseconds = 1000;

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
  return text;
}

// "1 byte", "7 bytes".
std::string ByteCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string DescribeMessage(const ReceivedMessage& message, bool probe) {
  std::string text = "<- " + HexAndDecimal(message.bytes);
  if (!message.complete) {
    text += "  (incomplete: " + std::to_string(message.bytes.size()) + " of " +
            ByteCount(ExpectedLength(message.bytes)) + ")";
  } else if (probe) {
    text += "  (probe)";
  }
  return text;
}

std::string DescribeAnswer(const std::vector<ReplyChunk>& chunks) {
  if (chunks.empty()) return "no answer";
  std::size_t bytes = 0;
  for (const ReplyChunk& chunk : chunks) bytes += chunk.bytes.size();
  std::string text = "answers " + ByteCount(bytes);
  if (chunks.size() > 1)
    text += " in " + std::to_string(chunks.size()) + " chunks";
  return text;
}

std::string DescribeSent(const ReplyScheduler::DueChunk& due) {
  std::string text = "-> " + HexAndDecimal(due.chunk.bytes) + "  (";
  if (due.chunk.count > 1) {
    text += "chunk " + std::to_string(due.chunk.number) + "/" +
            std::to_string(due.chunk.count) + ", ";
  }
  return text + "waited " + Milliseconds(due.waited_seconds) + ")";
}

}  // namespace

DevicePlayer::DevicePlayer(int fd, const std::optional<std::string>& slave_path,
                           RuleSet rules, EventLog& log)
    : fd_(fd),
      pseudo_terminal_(slave_path.has_value()),
      rules_(std::move(rules)),
      log_(log) {
  if (slave_path) {
    open_watch_.emplace(*slave_path);
  } else if (fd_ >= 0) {
    log_.Write("port opened");
  }
}

void DevicePlayer::PlayConnection(int fd, const BlockedStopSignals& stop) {
  fd_ = fd;
  connection_ = true;
  ended_ = false;
  log_.Write("connection opened");
  Run(stop);
  if (ended_) log_.Write("connection closed");
  const std::size_t dropped = scheduler_.DropAll();
  if (dropped > 0) {
    log_.Write(ByteCount(dropped) +
               " of the reply not sent: the connection "
               "ended under them");
  }
}

void DevicePlayer::Run(const BlockedStopSignals& stop) {
  while (!stop.requested() && !ended_) {
    const short events = PortOpen() ? Wait(stop) : WaitForOpen(stop);
    const double now = MonotonicNow();
    // Presence first, so that the log shows the port open before its bytes.
    if (events >= 0 && pseudo_terminal_) NotePresence((events & POLLHUP) != 0);
    if (events > 0 && (events & POLLIN) != 0) ReadWaiting(now);
    if (auto stale = framer_.Expire(now)) Answer(*stale, now);
    SendDue(now);
  }
}

// The poll result for the line, or -1 when a signal cut the wait short.
short DevicePlayer::Wait(const BlockedStopSignals& stop) {
  const std::optional<double> deadline = NextDeadline();
  timespec timeout{};
  if (deadline) timeout = ToTimespec(*deadline - MonotonicNow(), Rounding::kUp);
  pollfd watched{fd_, POLLIN, 0};
  const timespec* limit = deadline ? &timeout : nullptr;
  if (ppoll(&watched, 1, limit, &stop.wait_mask()) < 0) return -1;
  return watched.revents;
}

// As Wait, while no one has the port open. The master then reports the
// hang-up at once for as long as it lasts, so waiting on it would spin:
// the player sleeps until the slave is opened (or a tick passes, without
// an open watch), and only then takes a look at the master.
short DevicePlayer::WaitForOpen(const BlockedStopSignals& stop) {
  const bool watching = open_watch_ && open_watch_->ok();
  std::optional<double> pause_seconds;
  if (const std::optional<double> deadline = NextDeadline()) {
    pause_seconds = *deadline - MonotonicNow();
  }
  if (!watching) {
    pause_seconds = std::min(pause_seconds.value_or(kClosedPortTickSeconds),
                             kClosedPortTickSeconds);
  }
  timespec timeout{};
  if (pause_seconds) timeout = ToTimespec(*pause_seconds, Rounding::kUp);
  pollfd opened{watching ? open_watch_->fd() : -1, POLLIN, 0};
  if (ppoll(&opened, 1, pause_seconds ? &timeout : nullptr, &stop.wait_mask()) <
      0) {
    return -1;
  }
  // Drained before the look, so an open after it still wakes the next wait.
  if (watching) open_watch_->Drain();
  pollfd watched{fd_, POLLIN, 0};
  const timespec look = ToTimespec(0, Rounding::kDown);
  if (ppoll(&watched, 1, &look, &stop.wait_mask()) < 0) return -1;
  return watched.revents;
}

std::optional<double> DevicePlayer::NextDeadline() const {
  const std::optional<double> framing = framer_.Deadline();
  const std::optional<double> sending = scheduler_.NextDue();
  if (framing && sending) return std::min(*framing, *sending);
  return framing ? framing : sending;
}

void DevicePlayer::ReadWaiting(double now) {
  char buffer[512];
  for (;;) {
    const ssize_t count = read(fd_, buffer, sizeof buffer);
    if (count > 0) {
      for (const ReceivedMessage& message :
           framer_.Feed(std::string_view(buffer, count), now)) {
        Answer(message, now);
      }
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (connection_ && (count == 0 || errno == ECONNRESET)) {
      ended_ = true;
      return;
    }
    if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK) return;
    // A pseudo-terminal master fails reads with EIO while the slave is
    // closed; the hang-up that comes with it is handled as the port closing.
    if (errno == EIO && pseudo_terminal_) return;
    throw std::system_error(errno, std::generic_category(), "reading the line");
  }
}

void DevicePlayer::NotePresence(bool hung_up) {
  if (!presence_.Changed(hung_up)) return;
  log_.Write(presence_.Describe());
  if (!presence_.open()) {
    const std::size_t dropped = scheduler_.DropAll();
    if (dropped > 0) {
      log_.Write(ByteCount(dropped) +
                 " of the reply not sent: the port closed under them");
    }
  }
}

void DevicePlayer::Answer(const ReceivedMessage& message, double now) {
  log_.Write(DescribeMessage(message, rules_.IsProbe(message.bytes)));
  const std::optional<RuleSet::Match> match = rules_.Take(message.bytes);
  if (!match) {
    log_.Write("no rule matches: no answer");
    return;
  }
  const std::string rule_name = "rule " + std::to_string(match->number);
  std::vector<ReplyChunk> chunks = PlanReply(*match->rule, message.bytes);
  log_.Write(rule_name + " matched (" + match->rule->text +
             "): " + DescribeAnswer(chunks));
  if (match->retired) log_.Write(rule_name + " retires");
  if (!chunks.empty() && !PortOpen()) {
    log_.Write("not sent: the port is closed");
  } else if (scheduler_.Add(std::move(chunks), now)) {
    log_.Write("the answer waits behind the reply still being sent");
  }
}

void DevicePlayer::SendDue(double now) {
  while (std::optional<ReplyScheduler::DueChunk> due =
             scheduler_.TakeDue(now)) {
    if (WriteAll(due->chunk.bytes)) {
      log_.Write(DescribeSent(*due));
    } else {
      log_.Write("could not write " + HexAndDecimal(due->chunk.bytes) +
                 ": the port is closed or stalled");
    }
  }
}

bool DevicePlayer::WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = write(fd_, bytes.data() + done, bytes.size() - done);
    if (count > 0) {
      done += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd room{fd_, POLLOUT, 0};
      const int ready = poll(&room, 1, kWriteStallMilliseconds);
      if (ready <= 0 || (room.revents & POLLOUT) == 0) return false;
    } else if ((errno == EIO && pseudo_terminal_) ||
               (connection_ && (errno == EPIPE || errno == ECONNRESET))) {
      return false;
    } else {
      throw std::system_error(errno, std::generic_category(),
                              "writing the line");
    }
  }
  // On a real line the gap before the next chunk starts when these bytes
  // have left, not when the driver took them.
  if (!pseudo_terminal_ && !connection_) tcdrain(fd_);
  return true;
}

}  // namespace zindo::tools
