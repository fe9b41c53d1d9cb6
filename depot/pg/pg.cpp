#include "pg/pg.h"

#include <libpq-fe.h>

namespace depot {

namespace {

// libpq's messages end with a newline and may run over several lines.
QString OneLine(const char* message) {
  QString text = QString::fromUtf8(message).trimmed();
  text.replace(QLatin1Char('\n'), QLatin1String("; "));
  return text;
}

}  // namespace

bool CheckConninfo(const QString& conninfo, QByteArray& completed, QString& error) {
  const QString text = conninfo.trimmed();
  if (text.isEmpty()) {
    error = QStringLiteral("the database is not named: --database takes a connection string or service name");
    return false;
  }
  const bool isUri = text.startsWith(QLatin1String("postgresql://")) ||
                     text.startsWith(QLatin1String("postgres://"));
  completed = (!isUri && !text.contains(QLatin1Char('='))) ? "service=" + text.toUtf8() : text.toUtf8();
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(completed.constData(), &parseError);
  if (!options) {
    error = QStringLiteral("the connection string does not read: %1")
                .arg(parseError ? OneLine(parseError) : QStringLiteral("out of memory"));
    PQfreemem(parseError);
    return false;
  }
  bool hasPassword = false;
  for (PQconninfoOption* o = options; o->keyword; ++o)
    if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val) hasPassword = true;
  PQconninfoFree(options);
  if (hasPassword) {
    error = QStringLiteral("the connection string holds a password; put it into ~/.pgpass or a "
                           "service file instead, where other users cannot read it");
    return false;
  }
  return true;
}

Result& Result::operator=(Result&& o) noexcept {
  if (this != &o) {
    if (r_) PQclear(r_);
    r_ = o.r_;
    o.r_ = nullptr;
  }
  return *this;
}

Result::~Result() {
  if (r_) PQclear(r_);
}

int Result::Rows() const { return r_ ? PQntuples(r_) : 0; }

int Result::Columns() const { return r_ ? PQnfields(r_) : 0; }

bool Result::IsNull(int row, int column) const {
  return !r_ || row >= PQntuples(r_) || column >= PQnfields(r_) || PQgetisnull(r_, row, column);
}

QByteArray Result::Value(int row, int column) const {
  if (IsNull(row, column)) return {};
  return QByteArray(PQgetvalue(r_, row, column), PQgetlength(r_, row, column));
}

qint64 Result::CommandRows() const { return r_ ? QByteArray(PQcmdTuples(r_)).toLongLong() : 0; }

QByteArray Result::State() const {
  if (!r_) return {};
  const char* s = PQresultErrorField(r_, PG_DIAG_SQLSTATE);
  return s ? QByteArray(s) : QByteArray();
}

Connection::~Connection() { Close(); }

void Connection::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

bool Connection::Open(const QString& conninfo, const char* program, QString& error) {
  Close();
  QByteArray completed;
  if (!CheckConninfo(conninfo, completed, error)) return false;
  // The defaults first: what the conninfo says overrides them.
  const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"10", program, completed.constData(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    error = QStringLiteral("cannot connect to the depot database: %1")
                .arg(conn_ ? OneLine(PQerrorMessage(conn_)) : QStringLiteral("out of memory"));
    Close();
    return false;
  }
  PQsetClientEncoding(conn_, "UTF8");
  return true;
}

Connection::Login Connection::OpenAs(const QByteArray& conninfo, const QByteArray& user,
                                     const QByteArray& password, QString& error) {
  Close();
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.constData(), &parseError);
  if (!options) {
    error = parseError ? OneLine(parseError) : QStringLiteral("out of memory");
    PQfreemem(parseError);
    return Login::BadConninfo;
  }
  std::vector<const char*> keys, values;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    const QByteArray k = o->keyword;
    if (!o->val || k == "user" || k == "password" || k == "passfile" || k == "service") continue;
    keys.push_back(o->keyword);
    values.push_back(o->val);
  }
  // The password given only: never one from this process's .pgpass.
  const char* const own[][2] = {{"user", user.constData()},
                                {"password", password.constData()},
                                {"passfile", "/dev/null"},
                                {"connect_timeout", "5"}};
  for (const auto& [k, v] : own) {
    keys.push_back(k);
    values.push_back(v);
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
  PQconninfoFree(options);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    error = conn_ ? OneLine(PQerrorMessage(conn_)) : QStringLiteral("out of memory");
    Close();
    return Login::Refused;
  }
  PQsetClientEncoding(conn_, "UTF8");
  return Login::Open;
}

bool Connection::Healthy() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

QByteArray Connection::Setting(const char* keyword) const {
  QByteArray value;
  if (!conn_) return value;
  PQconninfoOption* options = PQconninfo(conn_);
  for (PQconninfoOption* o = options; o && o->keyword; ++o)
    if (qstrcmp(o->keyword, keyword) == 0 && o->val) value = o->val;
  PQconninfoFree(options);
  return value;
}

bool Connection::TlsInUse() const { return conn_ && PQsslInUse(conn_) == 1; }

QString Connection::LastError() const {
  return conn_ ? OneLine(PQerrorMessage(conn_)) : QStringLiteral("not connected");
}

bool Connection::Exec(const QByteArray& sql, QString& error) {
  if (!conn_) {
    error = LastError();
    return false;
  }
  pg_result* r = PQexec(conn_, sql.constData());
  const ExecStatusType status = PQresultStatus(r);
  const Result owned(r);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  error = OneLine(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
  return false;
}

bool Connection::SetPassword(const QByteArray& role, const QByteArray& password, QString& error) {
  if (!conn_) {
    error = LastError();
    return false;
  }
  char* verifier = PQencryptPasswordConn(conn_, password.constData(), role.constData(), "scram-sha-256");
  if (!verifier) {
    error = LastError();
    return false;
  }
  // A verifier is base64 and '$'/':' only: no quote to escape.
  const QByteArray sql = "ALTER ROLE " + QuoteIdentifier(role) + " PASSWORD '" + verifier + "'";
  PQfreemem(verifier);
  return Exec(sql, error);
}

bool Connection::Query(const QByteArray& sql, const std::vector<QByteArray>& params,
                       Result& result, QString& error) {
  if (!conn_) {
    error = LastError();
    return false;
  }
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const QByteArray& p : params) values.push_back(p.isNull() ? nullptr : p.constData());
  pg_result* r = PQexecParams(conn_, sql.constData(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, 0);
  const ExecStatusType status = PQresultStatus(r);
  result = Result(r);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  error = OneLine(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
  return false;
}

bool Connection::Pipeline(const std::vector<Statement>& statements, std::vector<Result>& results,
                          QString& error) {
  results.clear();
  if (!conn_ || PQenterPipelineMode(conn_) != 1) {
    error = LastError();
    return false;
  }
  bool ok = true;
  for (const Statement& s : statements) {
    std::vector<const char*> values;
    values.reserve(s.params.size());
    for (const QByteArray& p : s.params) values.push_back(p.isNull() ? nullptr : p.constData());
    if (ok && PQsendQueryParams(conn_, s.sql.constData(), static_cast<int>(values.size()), nullptr, values.data(),
                                nullptr, nullptr, 0) != 1) {
      error = LastError();
      ok = false;
    }
  }
  if (ok && PQpipelineSync(conn_) != 1) {
    error = LastError();
    ok = false;
  }
  // Each statement's result ends with a null one; the sync's closes the lot.
  // A statement after a failed one comes back aborted.
  const size_t sent = ok ? statements.size() : 0;
  while (ok && results.size() < sent) {
    pg_result* r = PQgetResult(conn_);
    if (!r) {
      error = LastError();
      ok = false;
      break;
    }
    const ExecStatusType status = PQresultStatus(r);
    results.emplace_back(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      error = OneLine(status == PGRES_PIPELINE_ABORTED ? "statement skipped" : PQresultErrorMessage(r));
      ok = false;
    }
    while (pg_result* extra = PQgetResult(conn_)) PQclear(extra);
  }
  // Read up to the sync so that the connection leaves pipeline mode clean;
  // one that cannot is closed by the caller.
  // The skipped statements' results each end with a null one too.
  for (size_t nulls = 0; sent > 0 && nulls <= statements.size() && PQstatus(conn_) == CONNECTION_OK;) {
    pg_result* r = PQgetResult(conn_);
    if (!r) {
      ++nulls;
      continue;
    }
    const bool sync = PQresultStatus(r) == PGRES_PIPELINE_SYNC;
    PQclear(r);
    if (sync) break;
  }
  if (PQexitPipelineMode(conn_) != 1 && ok) {
    error = LastError();
    ok = false;
  }
  return ok;
}

bool Connection::CopyBegin(const QByteArray& copySql, QString& error) {
  if (!conn_) {
    error = LastError();
    return false;
  }
  pg_result* res = PQexec(conn_, copySql.constData());
  const ExecStatusType status = PQresultStatus(res);
  const Result owned(res);
  if (status == PGRES_COPY_IN) return true;
  error = OneLine(res ? PQresultErrorMessage(res) : PQerrorMessage(conn_));
  return false;
}

bool Connection::CopyPut(const QByteArray& rows, QString& error) {
  if (PQputCopyData(conn_, rows.constData(), static_cast<int>(rows.size())) == 1) return true;
  error = LastError();
  return false;
}

bool Connection::CopyEnd(QString& error) {
  if (PQputCopyEnd(conn_, nullptr) != 1) {
    error = LastError();
    return false;
  }
  bool ok = true;
  // The COPY's own result, then the end of the command.
  while (pg_result* res = PQgetResult(conn_)) {
    if (PQresultStatus(res) != PGRES_COMMAND_OK) {
      if (ok) error = OneLine(PQresultErrorMessage(res));
      ok = false;
    }
    PQclear(res);
  }
  return ok;
}

void AppendCopyText(QByteArray& row, const QByteArray& utf8) {
  for (const char c : utf8) {
    switch (c) {
      case '\\': row += "\\\\"; break;
      case '\t': row += "\\t"; break;
      case '\n': row += "\\n"; break;
      case '\r': row += "\\r"; break;
      case '\0': break;  // a text value cannot hold it
      default: row += c;
    }
  }
}

QByteArray QuoteIdentifier(const QByteArray& name) {
  QByteArray q = "\"";
  for (const char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + '"';
}

}  // namespace depot
