// kalvor-depot: the depot's web page for quality engineers.
//
//   kalvor-depot serve --database CONNINFO [--listen HOST:PORT]
//                      [--engineers-role ROLE] [--secure-cookies]

#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "server/server.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: kalvor-depot serve --database CONNINFO [--listen HOST:PORT] "
               "[--engineers-role ROLE] [--secure-cookies]\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "serve") != 0) return Usage();
  depot::ServeOptions o;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--database" && hasValue) {
      o.database = argv[++i];
    } else if (a == "--listen" && hasValue) {
      const std::string v = argv[++i];
      const size_t colon = v.rfind(':');
      if (colon == std::string::npos) return Usage();
      o.host = v.substr(0, colon);
      if (o.host.size() > 2 && o.host.front() == '[') o.host = o.host.substr(1, o.host.size() - 2);
      try {
        o.port = std::stoi(v.substr(colon + 1));
      } catch (...) {
        return Usage();
      }
      if (o.port <= 0 || o.port > 65535) return Usage();
    } else if (a == "--engineers-role" && hasValue) {
      o.engineersRole = argv[++i];
    } else if (a == "--secure-cookies") {
      o.secureCookies = true;
    } else {
      return Usage();
    }
  }
  if (o.database.empty()) return Usage();
  // Every worker thread of the server would otherwise keep a heap of its own
  // as large as the largest page it built (a search of 5 000 records).
  mallopt(M_ARENA_MAX, 2);
  // A browser that closes its connection mid-answer must not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  return depot::Serve(o) ? 0 : 1;
}
