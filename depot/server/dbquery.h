#pragma once
// The server's reads from the depot database, all through Query(): one
// connection per worker thread under the server's read-only role, every
// transaction read-only. Rows are read by name, never by position: a
// query's columns (Columns) hold each column's SQL beside the code that
// reads it into the query's row struct.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace depot {

// Why a request gets no page of its own: a parameter that does not read
// (400) or a database that failed twice (503). Thrown by Query() and by
// the parameter readers of handlers.h; the route table answers it with the
// message on the page frame, so no page and no CSV goes out half made.
struct Refusal {
  int status;
  QString message;
};

using Params = std::vector<std::optional<QByteArray>>;

// One value of a row as the database sends it; empty for NULL.
class Field {
 public:
  explicit Field(const std::optional<QByteArray>& v) : v_(v) {}
  bool IsNull() const { return !v_; }
  QByteArray Text() const { return v_.value_or(QByteArray()); }
  const std::optional<QByteArray>& Raw() const { return v_; }
  long long Integer() const { return Text().toLongLong(); }
  bool Bool() const { return Text() == "t"; }
  std::optional<bool> OptionalBool() const { return v_ ? std::optional(Bool()) : std::nullopt; }
  std::optional<double> Number() const;

 private:
  const std::optional<QByteArray>& v_;
};

// The rows of one statement (a statement that failed never returns).
struct Rows {
  std::vector<std::vector<std::optional<QByteArray>>> rows;
};

// Sets the connection string the workers use (call once before serving).
void SetDatabase(const std::string& conninfo);
// Runs one parameterised statement on this thread's connection, opening or
// reopening it as needed. Every query of the server runs here. A statement
// that fails runs once more on a fresh connection; failing again, the
// reason goes to standard error (the server's log) and the request ends
// with a Refusal (handlers.h) of 503: no database text reaches a page.
Rows Query(const QByteArray& sql, const Params& params = {});

// A query's answer: its rows read into `Row`s.
template <class Row>
struct Answer {
  std::vector<Row> rows;
};

// The columns of a query, in the order of its select list: each one's SQL
// expression and how it goes into the row.
template <class Row>
class Columns {
 public:
  using Reader = std::function<void(Row&, const Field&)>;
  Columns(std::initializer_list<std::pair<QByteArray, Reader>> list) : list_(list) {}
  void Add(const QByteArray& sql, Reader read) { list_.emplace_back(sql, std::move(read)); }

  // The select list: "expression, expression, ...".
  QByteArray Select() const {
    QByteArray out;
    for (const auto& c : list_) out += (out.isEmpty() ? "" : ", ") + c.first;
    return out;
  }

  // Runs "SELECT <columns> <rest>" and reads its rows.
  Answer<Row> Fetch(const QByteArray& rest, const Params& params = {}) const {
    Rows rows = Query("SELECT " + Select() + rest, params);
    Answer<Row> out;
    for (const auto& values : rows.rows) {
      Row row{};
      for (size_t c = 0; c < list_.size() && c < values.size(); ++c) list_[c].second(row, Field(values[c]));
      out.rows.push_back(std::move(row));
    }
    return out;
  }

 private:
  std::vector<std::pair<QByteArray, Reader>> list_;
};

}  // namespace depot
