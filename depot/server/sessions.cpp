#include "server/sessions.h"

#include <QList>
#include <algorithm>
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
  entries_[token] = {user, now, now};
  return token;
}

std::optional<QByteArray> Sessions::User(const QByteArray& token, bool& recheck) {
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
  recheck = now - it->second.checked >= recheck_;
  return it->second.user;
}

void Sessions::Checked(const QByteArray& token) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(token);
  if (it != entries_.end()) it->second.checked = std::chrono::steady_clock::now();
}

void Sessions::Close(const QByteArray& token) {
  std::lock_guard lock(mutex_);
  entries_.erase(token);
}

namespace {
QByteArray AddressKey(const std::string& address) { return "a:" + QByteArray::fromStdString(address); }
QByteArray NameKey(const QByteArray& name) { return "n:" + name.toLower(); }
}  // namespace

void SignInLimit::Forget(Clock::time_point now) {
  for (auto it = failures_.begin(); it != failures_.end();) {
    auto& times = it->second;
    times.erase(times.begin(), std::find_if(times.begin(), times.end(),
                                            [&](auto t) { return now - t < std::chrono::minutes(1); }));
    it = times.empty() ? failures_.erase(it) : std::next(it);
  }
}

int SignInLimit::Wait(const std::string& address, const QByteArray& name) {
  const auto now = Clock::now();
  std::lock_guard lock(mutex_);
  Forget(now);
  long long wait = 0;
  for (const QByteArray& key : {AddressKey(address), NameKey(name)}) {
    auto it = failures_.find(key);
    if (it == failures_.end() || it->second.size() < static_cast<size_t>(limit_)) continue;
    const auto free = it->second[it->second.size() - limit_] + std::chrono::minutes(1);
    wait = std::max<long long>(wait, std::chrono::ceil<std::chrono::seconds>(free - now).count());
  }
  return static_cast<int>(std::max<long long>(wait, 0));
}

void SignInLimit::Failed(const std::string& address, const QByteArray& name) {
  const auto now = Clock::now();
  std::lock_guard lock(mutex_);
  for (const QByteArray& key : {AddressKey(address), NameKey(name)}) failures_[key].push_back(now);
}

QByteArray CookieValue(const QByteArray& header, const QByteArray& name) {
  for (QByteArray part : header.split(';')) {
    part = part.trimmed();
    if (part.startsWith(name + '=')) return part.mid(name.size() + 1);
  }
  return {};
}

}  // namespace depot
