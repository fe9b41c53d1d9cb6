#pragma once
// The one connection to the depot database, over libpq. Every depot program
// (springdata's sync and db commands, the web server) talks to PostgreSQL
// through this and nothing else.
//
// A connection is named by a libpq connection string ("host=depot
// dbname=kalvor user=kalvor_line_l1 sslmode=verify-full"), a URI
// ("postgresql://depot/kalvor") or a bare service name of
// ~/.pg_service.conf. Passwords come from ~/.pgpass or the service file:
// a connection string that carries one is refused, since it would stand in
// the process list and in the timer's unit file.

#include <QByteArray>
#include <QString>
#include <vector>

struct pg_conn;
struct pg_result;

namespace depot {

// Checks and completes CONNINFO: a bare word becomes "service=WORD". False
// with `error` for a string libpq cannot read or one that names a password.
bool CheckConninfo(const QString& conninfo, QByteArray& completed, QString& error);

// One result of a statement; owns the libpq result.
class Result {
 public:
  Result() = default;
  explicit Result(pg_result* r) : r_(r) {}
  Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  Result& operator=(Result&& o) noexcept;
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result();

  int Rows() const;
  int Columns() const;
  bool IsNull(int row, int column) const;
  QByteArray Value(int row, int column) const;  // empty for NULL
  QString Text(int row, int column) const { return QString::fromUtf8(Value(row, column)); }
  qint64 Number(int row, int column) const { return Value(row, column).toLongLong(); }
  // Rows an INSERT, UPDATE or COPY touched.
  qint64 CommandRows() const;
  // The SQLSTATE of a failed statement ("42501" for a refused right).
  QByteArray State() const;

 private:
  pg_result* r_ = nullptr;
};

class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Opens the connection; `program` names it to the server
  // (application_name). False with a clear `error` when the database cannot
  // be reached or refuses the login. A connect_timeout of 10 s applies unless
  // the conninfo sets one, so a server that is gone does not hang the caller.
  bool Open(const QString& conninfo, const char* program, QString& error);
  // Opens a connection as `user` with `password` to the database that
  // `conninfo` names: its own user, password, passfile and service are left
  // out, so that no password of this process's ~/.pgpass stands in for the
  // one given. Says whether the conninfo did not read or the login was
  // refused (`error` has libpq's reason); a connect_timeout of 5 s applies.
  enum class Login { Open, BadConninfo, Refused };
  Login OpenAs(const QByteArray& conninfo, const QByteArray& user, const QByteArray& password,
               QString& error);
  void Close();
  bool IsOpen() const { return conn_ != nullptr; }
  // Open and not broken (a server that went away leaves it broken).
  bool Healthy() const;

  // Runs one or more statements without parameters (a migration file).
  bool Exec(const QByteArray& sql, QString& error);
  // Runs one statement with text parameters; a parameter given as a null
  // QByteArray is SQL NULL. The result is returned on success and also on
  // failure (for its State()), with `error` set then.
  bool Query(const QByteArray& sql, const std::vector<QByteArray>& params, Result& result,
             QString& error);
  bool Query(const QByteArray& sql, const std::vector<QByteArray>& params, QString& error) {
    Result ignored;
    return Query(sql, params, ignored, error);
  }

  // Statements sent together in one round trip (libpq's pipeline mode): each
  // with its text parameters as Query() takes them. They run in one implicit
  // transaction; `results` holds one Result per statement. False with the
  // first failure's `error` when any fails (the rest are then skipped).
  struct Statement {
    QByteArray sql;
    std::vector<QByteArray> params;
  };
  bool Pipeline(const std::vector<Statement>& statements, std::vector<Result>& results, QString& error);

  // COPY ... FROM STDIN in text format: Begin with the COPY statement, Put
  // rows (each ending with '\n'), End to finish it.
  bool CopyBegin(const QByteArray& copySql, QString& error);
  bool CopyPut(const QByteArray& rows, QString& error);
  bool CopyEnd(QString& error);

  // A setting of the open connection as libpq took it, from the conninfo,
  // the service file, the environment or its default ("sslmode").
  QByteArray Setting(const char* keyword) const;
  // Whether the connection runs over TLS.
  bool TlsInUse() const;

  // Gives `role` the password: the SCRAM-SHA-256 verifier is computed here
  // and only it is sent, so the password stands in no statement or log.
  bool SetPassword(const QByteArray& role, const QByteArray& password, QString& error);

  // The server's text of the last failure, one line.
  QString LastError() const;

 private:
  pg_conn* conn_ = nullptr;
};

// A value written into a COPY text row: backslash, tab, newline and carriage
// return escaped; NUL characters, which no text value holds, left out.
void AppendCopyText(QByteArray& row, const QByteArray& utf8);
inline void AppendCopyNull(QByteArray& row) { row += "\\N"; }

// An SQL identifier quoted for a statement ("kalvor_line_l1" -> "\"kalvor_line_l1\"").
QByteArray QuoteIdentifier(const QByteArray& name);

}  // namespace depot
