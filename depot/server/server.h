#pragma once
// The quality engineer's web page over the depot database: the lines at a
// glance, the control charts and capability of one spring type, the search
// and the record sheet, every list and chart also as CSV. Every page but the
// sign-in asks for a session; the server only reads the database.

#include <string>

namespace depot {

struct ServeOptions {
  std::string database;  // libpq connection string of the read-only role
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string engineersRole = "kalvor_reader";  // who may sign in
  bool secureCookies = false;  // always mark cookies Secure (behind TLS)
  int rightsCheckSeconds = 60;  // how often a session's role is looked at again
};

// Serves until the process is stopped; false (with a message on standard
// error) when the address cannot be bound.
bool Serve(const ServeOptions& options);

}  // namespace depot
