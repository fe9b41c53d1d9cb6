#pragma once
// Signed-in engineers: a session is 32 random bytes from the kernel, sent as
// a cookie and kept only in the server's memory (a restart signs everyone
// out). A session ends after `idleSeconds` without a request.

#include <QByteArray>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>

namespace depot {

class Sessions {
 public:
  explicit Sessions(int idleSeconds = 8 * 3600) : idle_(idleSeconds) {}
  // A new session for `user`: its token (64 hex digits), empty when the
  // kernel gave no random bytes.
  QByteArray Open(const QByteArray& user);
  // The user of a live session, refreshing its time.
  std::optional<QByteArray> User(const QByteArray& token);
  void Close(const QByteArray& token);

 private:
  struct Entry {
    QByteArray user;
    std::chrono::steady_clock::time_point last;
  };
  std::mutex mutex_;
  std::map<QByteArray, Entry> entries_;
  std::chrono::seconds idle_;
};

// The value of cookie `name` in a Cookie header.
QByteArray CookieValue(const QByteArray& header, const QByteArray& name);

}  // namespace depot
