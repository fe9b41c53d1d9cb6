#pragma once
// The server's reads from the depot database: one connection per worker
// thread under the server's read-only role, every transaction read-only.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace depot {

// Rows of text values as the database sends them; a null is empty.
struct Rows {
  bool ok = false;
  QString error;
  std::vector<std::vector<std::optional<QByteArray>>> rows;
  QByteArray Text(size_t r, size_t c) const { return rows[r][c].value_or(QByteArray()); }
  bool Null(size_t r, size_t c) const { return !rows[r][c]; }
  std::optional<double> Number(size_t r, size_t c) const;
  long long Integer(size_t r, size_t c) const { return Text(r, c).toLongLong(); }
  bool Bool(size_t r, size_t c) const { return Text(r, c) == "t"; }
};

// Sets the connection string the workers use (call once before serving).
void SetDatabase(const std::string& conninfo);
// Runs one parameterised statement on this thread's connection, opening or
// reopening it as needed.
Rows Query(const char* sql, const std::vector<std::optional<QByteArray>>& params = {});

// Connects as `user` with `password` over the server's connection string and
// checks that the role belongs to `engineersRole`. Empty on success, else
// the reason shown to the engineer.
QString CheckEngineer(const std::string& conninfo, const QByteArray& user,
                      const QByteArray& password, const QByteArray& engineersRole);

}  // namespace depot
