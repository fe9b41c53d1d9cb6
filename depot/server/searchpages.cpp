// The search of measurements, a record's sheet and a wagon's sets, the
// lists also as CSV.

#include <QRegularExpression>

#include "server/handlers.h"
#include "server/queries.h"
#include "server/railwayqueries.h"
#include "server/views.h"
#include "quality/csv.h"
#include "quality/measured.h"

namespace depot {

const char* const kParamNames[7] = {"",
                                    "Наружный диаметр, мм",
                                    "Высота свободная, мм",
                                    "Неперпендикулярность, мм",
                                    "Зазор между витками, мм",
                                    "Остаточная деформация, мм",
                                    "Прогиб под нагрузкой, мм"};

namespace {

constexpr int kSearchLimit = 5000;

SearchFilter SearchOf(const Request& r) {
  SearchFilter s{r.Get("id"), r.Get("wagon"), r.Get("line"), r.Date("from"), r.Date("to")};
  s.bogie = r.Int("bogie", 0, 0, 32767);
  s.spring = r.Int("spring", 0, 0, 32767);
  s.depot = r.Get("depot");
  CheckPeriod(s.from, s.to);
  return s;
}

// A record's key moment as the pages link it (measured_at::text).
void CheckMoment(const QByteArray& at) {
  static const QRegularExpression kMoment(
      QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d) (\\d\\d:\\d\\d:\\d\\d)(\\.\\d{1,6})?([+-]\\d\\d(:\\d\\d){0,2})?$"));
  const QRegularExpressionMatch m = kMoment.match(QString::fromUtf8(at));
  if (!m.hasMatch() || !QDate::fromString(m.captured(1), Qt::ISODate).isValid() ||
      !QTime::fromString(m.captured(2), Qt::ISODate).isValid())
    throw Refusal{400, QStringLiteral("Неверный момент записи «%1»").arg(QString::fromUtf8(at))};
}

// The search's rows, at most kSearchLimit; `cut` when there were more.
Answer<MeasurementRow> Search(const SearchFilter& s, bool& cut) {
  Answer<MeasurementRow> a;
  if (s.Any()) a = SearchMeasurements(s, kSearchLimit + 1);
  cut = a.rows.size() > static_cast<size_t>(kSearchLimit);
  if (cut) a.rows.resize(kSearchLimit);
  return a;
}

// The measurement columns of the export, then the line, and at the
// railway's centre the depot.
QList<QByteArray> MeasurementCsvColumns(bool central) {
  QList<QByteArray> c = quality::MeasurementColumns() << "Линия";
  return central ? c << "Депо" : c;
}

QList<QByteArray> MeasurementCsvRow(const MeasurementRow& m, bool central) {
  const bool judged = m.judged;
  QList<QByteArray> f = {m.source, "", m.identifier, m.shown, m.bogie, judged ? m.bogieName : "", m.spring,
                         judged ? m.springName : "", "", quality::KindText(m.kind, m.accelerated)};
  for (int p = 1; p <= 6; ++p) {
    const bool taken = quality::KindTakes(m.kind, p);
    f << (judged ? QByteArray(kParamNames[p]) : QByteArray()) << (taken ? CsvValue(m.params[p].value) : QByteArray())
      << (judged && taken ? Verdict(m.params[p].good) : QByteArray());
  }
  f << (judged ? Verdict(m.springGood) : Word(quality::kNotJudged)) << m.heightGroup << m.wagonFrom << m.wagonTo
    << YesNo(m.emulated) << YesNo(m.accelerated) << m.line;
  return central ? f << m.depot : f;
}

QByteArray RecordLink(const MeasurementRow& m) {
  return Url("/record", {{"depot", m.depot}, {"line", m.line}, {"id", m.identifier}, {"at", m.at}});
}

// The depot's cell of a row at the centre; nothing at a depot.
QByteArray DepotCell(bool central, const QByteArray& depot) {
  return central ? "<td class=\"depot\">" + Esc(depot) + "</td>" : QByteArray();
}

// The depot's field of a filter form at the centre; a depot filter given
// at a depot is kept as a hidden field.
QByteArray DepotField(bool central, const QByteArray& depot) {
  if (central) return "<label>Депо <input name=\"depot\" size=\"8\" value=\"" + Esc(depot) + "\"></label>";
  return depot.isEmpty() ? QByteArray() : "<input type=\"hidden\" name=\"depot\" value=\"" + Esc(depot) + "\">";
}

}  // namespace

void SearchCsv(const Request& r, httplib::Response& res) {
  bool cut = false;
  const Answer<MeasurementRow> found = Search(SearchOf(r), cut);
  const bool central = IsCentral();
  std::vector<QList<QByteArray>> out;
  for (const MeasurementRow& m : found.rows) out.push_back(MeasurementCsvRow(m, central));
  res.set_header("Content-Disposition", "attachment; filename=\"measurements.csv\"");
  res.set_content(Csv(MeasurementCsvColumns(central), out).toStdString(), "text/csv; charset=utf-8");
}

void SearchPage(const Request& r, httplib::Response& res) {
  const SearchFilter s = SearchOf(r);
  const bool central = IsCentral();
  bool cut = false;
  const Answer<MeasurementRow> found = Search(s, cut);
  QByteArray body = "<form class=\"filter\" method=\"get\" action=\"/search\"><label>Идентификатор <input name=\"id\" value=\"" +
                    Esc(s.id) + "\"></label><label>Вагон № <input name=\"wagon\" value=\"" + Esc(s.wagon) +
                    "\"></label><label>с <input type=\"date\" name=\"from\" value=\"" + IsoDate(s.from) +
                    "\"></label><label>по <input type=\"date\" name=\"to\" value=\"" + IsoDate(s.to) +
                    "\"></label>" + DepotField(central, s.depot) + "<label>Линия <input name=\"line\" size=\"8\" value=\"" +
                    Esc(s.line) + "\"></label>" +
                    (s.bogie ? "<label>Тип тележки <input name=\"bogie\" size=\"4\" value=\"" + QByteArray::number(s.bogie) +
                                   "\"></label><label>пружины <input name=\"spring\" size=\"4\" value=\"" +
                                   QByteArray::number(s.spring) + "\"></label>"
                             : QByteArray()) +
                    "<button>Найти</button></form>";
  if (!s.Any()) {
    body += "<p>Задайте идентификатор, номер вагона или период.</p>";
  } else {
    const Link query = {{"id", s.id},         {"wagon", s.wagon}, {"from", IsoDate(s.from)}, {"to", IsoDate(s.to)},
                        {"line", s.line},     {"bogie", s.bogie ? QByteArray::number(s.bogie) : QByteArray()},
                        {"spring", s.bogie ? QByteArray::number(s.spring) : QByteArray()}, {"depot", s.depot}};
    body += "<p>Найдено записей: <b id=\"found\">" + QByteArray::number(found.rows.size()) + "</b>" +
            (cut ? " (показаны первые " + QByteArray::number(kSearchLimit) + ", уточните поиск)" : "") +
            " · <a class=\"csv\" href=\"" + Esc(Url("/search.csv", query)) + "\">Скачать CSV</a>";
    if (!s.wagon.isEmpty())
      body += " · <a id=\"wagonsets\" href=\"" + Esc(Url("/sets", {{"wagon", s.wagon}, {"depot", s.depot}})) +
              "\">Комплекты вагона " + Esc(s.wagon) + "</a>";
    body += QByteArray("</p><table id=\"results\"><tr>") + (central ? "<th>Депо</th>" : "") + "<th>Линия</th><th>Идентификатор</th><th>Дата и время</th><th>Тележка</th>"
            "<th>Пружина</th><th>Высота</th><th>Оценка</th><th>Снята с вагона</th><th>Установлена на вагон</th></tr>";
    for (const MeasurementRow& m : found.rows) {
      const QByteArray verdict = m.emulated ? "эмуляция" : !m.judged ? "не оценен" : Verdict(m.springGood);
      body += "<tr data-depot=\"" + Esc(m.depot) + "\">" + DepotCell(central, m.depot) + "<td>" + Esc(m.line) +
              "</td><td><a href=\"" + Esc(RecordLink(m)) + "\">" + Esc(m.identifier) +
              "</a></td><td>" + m.shown + "</td><td>" + m.bogie + " " + Esc(m.bogieName) + "</td><td>" + m.spring +
              " " + Esc(m.springName) + "</td><td class=\"n\">" + CsvValue(m.params[2].value) + "</td><td>" + verdict +
              "</td><td>" + Wagon(m.wagonFrom) + "</td><td>" + Wagon(m.wagonTo) + "</td></tr>";
    }
    body += "</table>";
  }
  res.set_content(Page(QStringLiteral("Поиск замеров"), &r.user, body).toStdString(), "text/html; charset=utf-8");
}

void RecordPage(const Request& r, httplib::Response& res) {
  const QByteArray at = r.Get("at");
  Answer<MeasurementRow> found;
  if (!at.isEmpty()) {
    CheckMoment(at);
    found = FindMeasurement(r.Get("depot"), r.Get("line"), r.Get("id"), at);
  }
  QByteArray body;
  if (found.rows.empty()) {
    res.status = 404;
    body += "<p>Запись не найдена.</p>";
  } else {
    const MeasurementRow& m = found.rows[0];
    body += "<table class=\"sheet\">" +
            (IsCentral() ? "<tr><th>Депо</th><td>" + Esc(m.depot) + "</td></tr>" : QByteArray()) +
            "<tr><th>Линия</th><td>" + Esc(m.line) + "</td></tr><tr><th>Идентификатор</th><td>" +
            Esc(m.identifier) + "</td></tr><tr><th>Дата и время</th><td>" + m.shown +
            "</td></tr><tr><th>Тип тележки</th><td>" + m.bogie + " " + Esc(m.bogieName) +
            "</td></tr><tr><th>Тип пружины</th><td>" + m.spring + " " + Esc(m.springName) +
            "</td></tr><tr><th>Вид замера</th><td>" + quality::KindText(m.kind, m.accelerated) +
            (m.emulated ? ", эмуляция (не замер линии)" : "") + "</td></tr><tr><th>Оценка замера</th><td>" +
            (m.judged ? Verdict(m.springGood) : QByteArray("Не оценен")) + "</td></tr><tr><th>Группа по высоте</th><td>" +
            m.heightGroup + "</td></tr><tr><th>Снята с вагона №</th><td>" + Wagon(m.wagonFrom) +
            "</td></tr><tr><th>Установлена на вагон №</th><td>" + Wagon(m.wagonTo) + "</td></tr><tr><th>Файл линии</th><td>" +
            m.source + "</td></tr></table>";
    body += "<h2>Параметры</h2><table id=\"params\"><tr><th>№</th><th>Параметр</th><th>Значение</th><th>Измерен линией</th>"
            "<th>Оценка</th><th>Min</th><th>Max</th><th>E</th></tr>";
    for (int p = 1; p <= 6; ++p) {
      const ParamColumns& c = m.params[p];
      body += "<tr><td>" + QByteArray::number(p) + "</td><td>" + kParamNames[p] + "</td><td class=\"n\">" +
              CsvValue(c.value) + "</td><td>" + (c.measured ? YesNo(*c.measured) : QByteArray()) + "</td><td>" +
              Verdict(c.good) + "</td><td class=\"n\">" + CsvValue(c.min) + "</td><td class=\"n\">" + CsvValue(c.max) +
              "</td><td class=\"n\">" + CsvValue(c.tolerance) + "</td></tr>";
    }
    body += "</table><p>Нормы — те, по которым запись оценена на линии.</p>";
    // Back to the charts of its line and type with its shift marked.
    const QDate shift = QDate::fromString(QString::fromUtf8(m.at.left(10)), Qt::ISODate);
    if (shift.isValid() && !m.bogie.isEmpty() && !m.spring.isEmpty()) {
      const QDate to = std::min(shift.addDays(7), std::max(shift, QDate::currentDate()));
      body += "<p><a id=\"chart\" href=\"" +
              Esc(Url("/type", {{"line", m.line}, {"bogie", m.bogie}, {"spring", m.spring},
                                {"from", IsoDate(to.addDays(-29))}, {"to", IsoDate(to)}, {"shift", IsoDate(shift)}}) +
                  "#p2") +
              "\">Контрольная карта смены " + Esc(shift.toString(QStringLiteral("dd.MM.yyyy"))) + "</a></p>";
    }
    for (const QByteArray& wagon : {m.wagonFrom, m.wagonTo})
      if (WagonGiven(wagon))
        body += "<p><a href=\"" + Esc(Url("/sets", {{"wagon", wagon}})) + "\">Комплекты с пружинами вагона " +
                Esc(wagon) + "</a> · <a href=\"" + Esc(Url("/search", {{"wagon", wagon}})) + "\">Замеры вагона</a></p>";
  }
  res.set_content(Page(QStringLiteral("Карточка замера"), &r.user, body).toStdString(), "text/html; charset=utf-8");
}

namespace {

// The set export's columns, then the line, and at the centre the depot.
QList<QByteArray> SetsCsvColumns(bool central) {
  QList<QByteArray> c = quality::SetColumns() << "Линия";
  return central ? c << "Депо" : c;
}

QList<QByteArray> SetsCsvRow(const SetRow& s, bool central) {
  QList<QByteArray> f = {QByteArray::number(s.position + 1), s.date, s.bogieNumber, s.bogieWorks, s.bogieYear};
  for (const SetSide* side : {&s.left, &s.right})
    f << side->number << side->works << side->year << side->outer << side->inner;
  f << s.wagonFrom << s.wagonTo << s.line;
  return central ? f << s.depot : f;
}

// A side frame's number over the groups of its springs, each under its place.
QByteArray Frame(const SetSide& side) {
  static const char* const kPlaces[7] = {"3K", "5K", "1", "2", "4", "6", "7"};
  QByteArray out = Esc(side.number) + "<table class=\"places\"><tr><th></th>";
  for (const char* place : kPlaces) out += QByteArray("<th>") + place + "</th>";
  out += "</tr>";
  for (const auto& [name, groups] : {std::pair{"нар.", &side.outer}, std::pair{"внутр.", &side.inner}}) {
    out += QByteArray("<tr><th>") + name + "</th>";
    for (const QByteArray& g : *groups) out += "<td class=\"n\">" + Esc(g) + "</td>";
    out += "</tr>";
  }
  return out + "</table>";
}

}  // namespace

void SetsCsv(const Request& r, httplib::Response& res) {
  const Answer<SetRow> sets = SetRow::Fetch(r.Get("wagon"), r.Get("depot"));
  const bool central = IsCentral();
  std::vector<QList<QByteArray>> out;
  for (const SetRow& s : sets.rows) out.push_back(SetsCsvRow(s, central));
  res.set_header("Content-Disposition", "attachment; filename=\"sets.csv\"");
  res.set_content(Csv(SetsCsvColumns(central), out).toStdString(), "text/csv; charset=utf-8");
}

void SetsPage(const Request& r, httplib::Response& res) {
  const QByteArray wagon = r.Get("wagon"), depotCode = r.Get("depot");
  const bool central = IsCentral();
  const Answer<SetRow> sets = SetRow::Fetch(wagon, depotCode);
  QByteArray body = "<form class=\"filter\" method=\"get\" action=\"/sets\"><label>Вагон № <input name=\"wagon\" value=\"" +
                    Esc(wagon) + "\"></label>" + DepotField(central, depotCode) + "<button>Найти</button></form>";
  body += "<p>Комплектов: <b id=\"found\">" + QByteArray::number(sets.rows.size()) + "</b> · <a class=\"csv\" href=\"" +
          Esc(Url("/sets.csv", {{"wagon", wagon}, {"depot", depotCode}})) + "\">Скачать CSV</a></p><table id=\"sets\"><tr>" +
          (central ? "<th>Депо</th>" : "") + "<th>Линия</th><th>Позиция</th><th>Дата</th><th>Тележка</th>"
          "<th>Левая рама: группы пружин по местам</th><th>Правая рама: группы пружин по местам</th>"
          "<th>Снята с вагона</th><th>Установлена на вагон</th></tr>";
  for (const SetRow& s : sets.rows)
    body += "<tr data-depot=\"" + Esc(s.depot) + "\">" + DepotCell(central, s.depot) + "<td>" + Esc(s.line) +
            "</td><td class=\"n\">" + QByteArray::number(s.position + 1) + "</td><td>" +
            s.date + "</td><td>" + Esc(s.bogieNumber + " " + s.bogieWorks + " " + s.bogieYear) + "</td><td>" +
            Frame(s.left) + "</td><td>" + Frame(s.right) + "</td><td>" + Wagon(s.wagonFrom) + "</td><td>" +
            Wagon(s.wagonTo) + "</td></tr>";
  body += "</table>";
  res.set_content(Page(QStringLiteral("Комплекты вагона ") + QString::fromUtf8(wagon), &r.user, body).toStdString(),
                  "text/html; charset=utf-8");
}

}  // namespace depot
