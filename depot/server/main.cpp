// kalvor-depot: the depot's web page for quality engineers.
//
//   kalvor-depot serve --database CONNINFO [--listen HOST:PORT]
//                      [--engineers-role ROLE] [--secure-cookies]
//                      [--rights-check SECONDS]
//   kalvor-depot alarms --database CONNINFO --smtp URL --to ADDRESSES ... (server/alarms.h)
//   kalvor-depot setup --depot CODE --time-zone ZONE [--line NAME]... [--host NAME]
//   kalvor-depot add-engineer NAME
//   kalvor-depot backup [--to DIR] [--keep N] [--database NAME]
//   kalvor-depot restore FILE --database NEW

#include <malloc.h>

#include <QStringList>
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/optionreader.h"
#include "server/alarms.h"
#include "server/server.h"
#include "setup/setup.h"

namespace {
int Usage(const QString& why) {
  if (!why.isEmpty()) std::fprintf(stderr, "kalvor-depot: %s\n", qPrintable(why));
  std::fprintf(stderr,
               "usage: kalvor-depot serve --database CONNINFO [--listen HOST:PORT] "
               "[--engineers-role ROLE] [--secure-cookies] [--rights-check SECONDS]\n"
               "       kalvor-depot alarms --database CONNINFO --smtp URL --to ADDRESSES [--once] ...\n"
               "       kalvor-depot setup --depot CODE --time-zone ZONE [--line NAME]... [--host NAME]\n"
               "       kalvor-depot add-engineer NAME\n"
               "       kalvor-depot backup [--to DIR] [--keep N] [--database NAME]\n"
               "       kalvor-depot restore FILE --database NEW\n");
  return 2;
}

// HOST:PORT, the host of an IPv6 address in brackets.
bool ReadListen(const std::string& v, depot::ServeOptions& o) {
  const size_t colon = v.rfind(':');
  if (colon == std::string::npos) return false;
  o.host = v.substr(0, colon);
  if (o.host.size() > 2 && o.host.front() == '[') o.host = o.host.substr(1, o.host.size() - 2);
  bool ok = false;
  o.port = QString::fromStdString(v.substr(colon + 1)).toInt(&ok);
  return ok && o.port > 0 && o.port <= 65535;
}
}  // namespace

int main(int argc, char** argv) {
  QStringList words;
  for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
  if (!words.isEmpty() && words[0] == "alarms") return depot::AlarmsCommand(words.mid(1));
  // The depot machine's administration (depot/setup).
  const int admin = depot::RunAdminCommand(words);
  if (admin >= 0) return admin;
  plat::OptionReader reader;
  reader.Value("--database").Value("--listen").Value("--engineers-role").Flag("--secure-cookies").Value("--rights-check").Positionals(1);
  QString error;
  if (!reader.Read(words, error)) return Usage(error);
  if (reader.Positional() != QStringList{"serve"}) return Usage({});
  depot::ServeOptions o;
  o.database = reader.Get("--database").toStdString();
  if (reader.Has("--listen") && !ReadListen(reader.Get("--listen").toStdString(), o))
    return Usage("--listen takes HOST:PORT");
  if (reader.Has("--engineers-role")) o.engineersRole = reader.Get("--engineers-role").toStdString();
  o.secureCookies = reader.Has("--secure-cookies");
  if (reader.Has("--rights-check")) {
    bool ok = false;
    o.rightsCheckSeconds = reader.Get("--rights-check").toInt(&ok);
    if (!ok || o.rightsCheckSeconds < 1 || o.rightsCheckSeconds > 60) return Usage("--rights-check takes 1..60 seconds");
  }
  if (o.database.empty()) return Usage("--database CONNINFO is needed");
  // Every worker thread of the server would otherwise keep a heap of its own
  // as large as the largest page it built (a search of 5 000 records).
  mallopt(M_ARENA_MAX, 2);
  // A browser that closes its connection mid-answer must not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  return depot::Serve(o) ? 0 : 1;
}
