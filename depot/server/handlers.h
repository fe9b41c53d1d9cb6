#pragma once
// The pages of the route table (routes.cpp): each reads its request's
// parameters, runs its queries (queries.h) and answers with a page or a CSV
// (views.h). The route table lets none of them run without a signed-in
// engineer.

#include <httplib.h>

#include <QByteArray>
#include <QDate>
#include <QString>

#include "server/dbquery.h"

namespace depot {

// A request of a signed-in engineer.
struct Request {
  const httplib::Request& http;
  QByteArray user;
  QByteArray Get(const char* key) const {
    return http.has_param(key) ? QByteArray::fromStdString(http.get_param_value(key)).trimmed()
                               : QByteArray();
  }
  // A day as YYYY-MM-DD; an invalid date when the parameter is absent or
  // empty, a Refusal when it is not a day.
  QDate Date(const char* key) const;
  // A whole number in lo..hi; `fallback` when absent or empty, a Refusal
  // when it is anything else.
  int Int(const char* key, int fallback, int lo, int hi) const;
};
// Refuses a period whose start lies after its end.
void CheckPeriod(const QDate& from, const QDate& to);

using Handler = void (*)(const Request&, httplib::Response&);

// linespages.cpp: the lines at a glance, the spring types measured.
void LinesPage(const Request& r, httplib::Response& res);
void LinesCsv(const Request& r, httplib::Response& res);
void TypesPage(const Request& r, httplib::Response& res);
// typepage.cpp: one spring type's charts and capability.
void TypePage(const Request& r, httplib::Response& res);
void TypeCsv(const Request& r, httplib::Response& res);
// searchpages.cpp: the search, a record's sheet, a wagon's sets.
void SearchPage(const Request& r, httplib::Response& res);
void SearchCsv(const Request& r, httplib::Response& res);
void RecordPage(const Request& r, httplib::Response& res);
void SetsPage(const Request& r, httplib::Response& res);
void SetsCsv(const Request& r, httplib::Response& res);

// railwaypages.cpp: the home page (the depots at the railway's centre, the
// lines at a depot), the depots at a glance, a wagon in every depot.
void HomePage(const Request& r, httplib::Response& res);
void DepotsPage(const Request& r, httplib::Response& res);
void WagonPage(const Request& r, httplib::Response& res);

// The names of parameters 1..6 in the order the measurement fills them.
extern const char* const kParamNames[7];

}  // namespace depot
