#include "server/mail.h"

#include <curl/curl.h>

#include <QFile>
#include <QLocale>
#include <QUuid>
#include <algorithm>
#include <mutex>

namespace depot {

namespace {

// A header text outside ASCII as encoded words (RFC 2047), each at most 75
// characters and whole characters, on folded lines.
QByteArray HeaderText(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return utf8;
  QByteArray out, chunk;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QByteArray c = text.mid(i, n).toUtf8();
    i += n - 1;
    if (chunk.size() + c.size() > 45) {
      out += (out.isEmpty() ? "" : "\r\n ") + ("=?UTF-8?B?" + chunk.toBase64() + "?=");
      chunk.clear();
    }
    chunk += c;
  }
  return out + (out.isEmpty() ? "" : "\r\n ") + "=?UTF-8?B?" + chunk.toBase64() + "?=";
}

QByteArray Angle(const QByteArray& address) { return "<" + address.trimmed() + ">"; }

struct Upload {
  QByteArray bytes;
  qsizetype at = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
  auto* u = static_cast<Upload*>(user);
  const size_t n = std::min(size * count, static_cast<size_t>(u->bytes.size() - u->at));
  memcpy(buffer, u->bytes.constData() + u->at, n);
  u->at += static_cast<qsizetype>(n);
  return n;
}

bool ReadPassword(const QString& file, QByteArray& password, QString& error) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("cannot read the password file %1: %2").arg(file, f.errorString());
    return false;
  }
  password = f.readLine().trimmed();
  return true;
}

}  // namespace

QByteArray MailMessage(const MailServer& server, const Mail& mail, const QDateTime& at) {
  QByteArray to;
  for (const QString& a : server.to) to += (to.isEmpty() ? "" : ", ") + Angle(a.toUtf8());
  const QByteArray domain = server.from.mid(server.from.indexOf('@') + 1).trimmed();
  // The C locale's English day and month names, as the header needs them.
  QByteArray m = "Date: " + QLocale::c().toString(at.toUTC(), "ddd, dd MMM yyyy HH:mm:ss").toLatin1() + " +0000\r\n";
  m += "From: " + Angle(server.from) + "\r\nTo: " + to + "\r\nSubject: " + HeaderText(mail.subject) +
       "\r\nMessage-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@" + domain +
       ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\n";
  const QByteArray body = mail.text.toUtf8().toBase64();
  for (qsizetype i = 0; i < body.size(); i += 76) m += body.mid(i, 76) + "\r\n";
  return m;
}

bool SendMail(const MailServer& server, const Mail& mail, QString& error) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  QByteArray password;
  if (!server.passwordFile.isEmpty() && !ReadPassword(server.passwordFile, password, error)) return false;
  CURL* curl = curl_easy_init();
  if (!curl) {
    error = QStringLiteral("libcurl did not start");
    return false;
  }
  Upload upload{MailMessage(server, mail, QDateTime::currentDateTimeUtc())};
  const QByteArray from = Angle(server.from);
  curl_slist* rcpt = nullptr;
  QList<QByteArray> to;
  for (const QString& a : server.to) to << Angle(a.toUtf8());
  for (const QByteArray& a : to) rcpt = curl_slist_append(rcpt, a.constData());
  char reason[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, server.url.constData());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, reason);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(server.timeoutSeconds));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(3 * server.timeoutSeconds));
  if (server.starttls) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  if (!password.isEmpty()) curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
  const QByteArray caFile = QFile::encodeName(server.caFile);
  if (!caFile.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
  const CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK)
    error = QStringLiteral("%1: %2").arg(QString::fromUtf8(curl_easy_strerror(rc)),
                                         QString::fromUtf8(*reason ? reason : "no detail"));
  curl_slist_free_all(rcpt);
  curl_easy_cleanup(curl);
  return rc == CURLE_OK;
}

}  // namespace depot
