#pragma once
// Signed-in engineers: a session is 32 random bytes from the kernel, sent as
// a cookie and kept only in the server's memory (a restart signs everyone
// out). A session ends after `idleSeconds` without a request.

#include <QByteArray>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace depot {

class Sessions {
 public:
  explicit Sessions(int idleSeconds = 8 * 3600, int recheckSeconds = 60)
      : recheck_(recheckSeconds), idle_(idleSeconds) {}
  // A new session for `user`: its token (64 hex digits), empty when the
  // kernel gave no random bytes.
  QByteArray Open(const QByteArray& user);
  // The user of a live session, refreshing its time. `recheck` says that
  // the role's rights were last looked at more than `recheckSeconds` ago.
  std::optional<QByteArray> User(const QByteArray& token, bool& recheck);
  std::optional<QByteArray> User(const QByteArray& token) {
    bool ignored = false;
    return User(token, ignored);
  }
  // The role's rights were looked at now and hold.
  void Checked(const QByteArray& token);
  void Close(const QByteArray& token);

 private:
  struct Entry {
    QByteArray user;
    std::chrono::steady_clock::time_point last, checked;
  };
  std::mutex mutex_;
  std::map<QByteArray, Entry> entries_;
  std::chrono::seconds recheck_, idle_;
};

// Failed sign-ins kept in memory, per address and per name: after `limit`
// failures within a minute, further tries of that address or name are
// refused until the oldest of them is a minute old.
class SignInLimit {
 public:
  explicit SignInLimit(int limit = 5) : limit_(limit) {}
  // Seconds to wait before the next try of `address` or `name`; 0 to go on.
  int Wait(const std::string& address, const QByteArray& name);
  void Failed(const std::string& address, const QByteArray& name);

 private:
  using Clock = std::chrono::steady_clock;
  void Forget(Clock::time_point now);
  std::mutex mutex_;
  std::map<QByteArray, std::vector<Clock::time_point>> failures_;
  int limit_;
};

// The value of cookie `name` in a Cookie header.
QByteArray CookieValue(const QByteArray& header, const QByteArray& name);

}  // namespace depot
