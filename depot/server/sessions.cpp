#include "server/sessions.h"

#include <QList>
#include <sys/random.h>

namespace depot {

QByteArray Sessions::Open(const QByteArray& user) {
  unsigned char bytes[32];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return {};
    got += static_cast<size_t>(n);
  }
  const QByteArray token = QByteArray(reinterpret_cast<char*>(bytes), sizeof bytes).toHex();
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  // Forget the sessions that timed out, so memory stays bounded by the live ones.
  for (auto it = entries_.begin(); it != entries_.end();)
    it = now - it->second.last > idle_ ? entries_.erase(it) : std::next(it);
  entries_[token] = {user, now};
  return token;
}

std::optional<QByteArray> Sessions::User(const QByteArray& token) {
  if (token.size() != 64) return std::nullopt;
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  auto it = entries_.find(token);
  if (it == entries_.end()) return std::nullopt;
  if (now - it->second.last > idle_) {
    entries_.erase(it);
    return std::nullopt;
  }
  it->second.last = now;
  return it->second.user;
}

void Sessions::Close(const QByteArray& token) {
  std::lock_guard lock(mutex_);
  entries_.erase(token);
}

QByteArray CookieValue(const QByteArray& header, const QByteArray& name) {
  for (QByteArray part : header.split(';')) {
    part = part.trimmed();
    if (part.startsWith(name + '=')) return part.mid(name.size() + 1);
  }
  return {};
}

}  // namespace depot
