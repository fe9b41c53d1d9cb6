#pragma once
// The server's reads from the depot database, all through Query(): one
// connection per worker thread under the server's read-only role, every
// transaction read-only. Rows are read by name, never by position: a
// query's columns (Columns) hold each column's SQL beside the code that
// reads it into the query's row struct.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
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

// Statements that need no answer of one another, sent to the database
// together: Add() queues each, Run() sends them all in one round trip on
// this thread's connection (opening or reopening it as needed) and fills
// every statement's Rows. Every query of the server runs through a Batch.
// A batch that fails runs once more on a fresh connection; failing again,
// the reason goes to standard error (the server's log) and the request ends
// with a Refusal (handlers.h) of 503: no database text reaches a page.
class Batch {
 public:
  // The statement's rows, there once Run() returned.
  std::shared_ptr<const Rows> Add(const QByteArray& sql, const Params& params = {});
  void Run();
  bool Empty() const { return queued_.empty(); }

 private:
  struct Queued {
    QByteArray sql;
    std::vector<QByteArray> values;
    std::shared_ptr<Rows> rows;
  };
  std::vector<Queued> queued_;
};

// One statement in a round trip of its own.
Rows Query(const QByteArray& sql, const Params& params = {});

// The round trips to the database this thread has made (a page's count is
// the difference across it).
long long RoundTrips();

// A query's answer: its rows read into `Row`s.
template <class Row>
struct Answer {
  std::vector<Row> rows;
};

// The answer of a statement queued in a Batch, read once the batch ran.
template <class Row>
class Later {
 public:
  using Reader = std::function<void(Row&, const Field&)>;
  using List = std::vector<std::pair<QByteArray, Reader>>;
  Later() = default;
  Later(std::shared_ptr<const Rows> rows, List list) : rows_(std::move(rows)), list_(std::move(list)) {}
  Answer<Row> Get() const { return rows_ ? Read(*rows_, list_) : Answer<Row>{}; }
  static Answer<Row> Read(const Rows& rows, const List& list) {
    Answer<Row> out;
    for (const auto& values : rows.rows) {
      Row row{};
      for (size_t c = 0; c < list.size() && c < values.size(); ++c) list[c].second(row, Field(values[c]));
      out.rows.push_back(std::move(row));
    }
    return out;
  }

 private:
  std::shared_ptr<const Rows> rows_;
  List list_;
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
  Answer<Row> Fetch(const QByteArray& rest, const Params& params = {}) const { return Read(Query("SELECT " + Select() + rest, params)); }
  // Queues "SELECT <columns> <rest>" in `batch`: its answer once the batch ran.
  Later<Row> Queue(Batch& batch, const QByteArray& rest, const Params& params = {}) const {
    return Later<Row>(batch.Add("SELECT " + Select() + rest, params), list_);
  }
  // Reads rows of this select list.
  Answer<Row> Read(const Rows& rows) const { return Later<Row>::Read(rows, list_); }

 private:
  std::vector<std::pair<QByteArray, Reader>> list_;
};

// One query queued by `queue` (Batch& -> Later<Row>) in a round trip of its own.
template <class Row, class Queue>
Answer<Row> Alone(Queue queue) {
  Batch batch;
  const Later<Row> later = queue(batch);
  batch.Run();
  return later.Get();
}

}  // namespace depot
