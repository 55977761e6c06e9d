// What a serial line still owes. A reply on a serial line carries no transaction number: once a
// try has gone unanswered past its timeout, its reply may still come, and it looks exactly like the
// reply to the next request of the same function and size. So every try sent counts as a reply
// owed, every reply heard pays one back (the controller answers in order, so it pays the oldest),
// and the line is free for another request only when it owes nothing, or when it has been silent
// for longer than any reply has yet been late.
//
// Pure bookkeeping: the caller reads the line, keeps the clock and says what happened. Nothing here
// throws (but std::bad_alloc when memory runs out).
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace transport {

class OwedReplies {
  public:
    using Time = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    // `timeout`: how long a try waits for its reply.
    explicit OwedReplies(Duration timeout) noexcept : timeout_(timeout) {}

    // A try went out at `at`: one more reply owed.
    void Sent(Time at);
    // A byte came at `at`, whatever it belongs to: the line is not silent.
    void Heard(Time at) noexcept;
    // A reply came at `at`: it answers the oldest try still owed. Gives how late it came after
    // that try was sent, and keeps the longest such delay. Nothing owed: a reply no one asked for,
    // given as zero and not counted.
    Duration Answered(Time at);

    // Replies owed now.
    std::size_t owed() const noexcept { return sent_.size(); }

    // When the line may be taken to owe nothing although replies are still owed: it has been
    // silent, since the last byte heard and since the last try's own timeout ran out, for at least
    // the timeout and at least 1.5 times the longest reply delay seen. A controller that answers
    // 1.2 s late to a 1 s timeout, one request at a time, answers a retry 2.4 s after the first
    // try: the line is not given up before then.
    Time GiveUpAt() const noexcept;

    // The owed replies that never came are forgotten (the line was silent until GiveUpAt, or the
    // port was opened anew); the delays seen are kept.
    void Forgive() noexcept { sent_.clear(); }

    // The longest reply delay seen on this line, zero before the first reply.
    Duration longest_delay() const noexcept { return longest_; }

  private:
    Duration timeout_;
    std::deque<Time> sent_;  // the send time of each try still owed, oldest first
    Time last_sent_{};
    Time last_heard_{};
    Duration longest_{};
};

}  // namespace transport
