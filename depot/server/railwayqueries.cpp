#include "server/railwayqueries.h"

#include <atomic>

namespace depot {

bool IsCentral() {
  // -1 not asked yet; a failed question is asked again by the next page.
  static std::atomic<int> central{-1};
  if (central < 0)
    central = Query("SELECT to_regclass('depot_stamp') IS NOT NULL AND (SELECT central FROM depot_stamp)")
                      .rows.at(0)
                      .at(0)
                      .value_or("f") == "t";
  return central == 1;
}

Answer<DepotRow> DepotRow::Fetch() {
  using R = DepotRow;
  static const Columns<R> columns = {
      {"d.code", [](R& r, const Field& f) { r.code = f.Text(); }},
      {"(SELECT count(*) FROM lines l WHERE l.depot = d.code)", [](R& r, const Field& f) { r.lines = f.Integer(); }},
      {"coalesce(sum(h.records) FILTER (WHERE h.hour >= current_date), 0)",
       [](R& r, const Field& f) { r.today = f.Integer(); }},
      {"coalesce(sum(h.records), 0)", [](R& r, const Field& f) { r.week = f.Integer(); }},
      {"coalesce(sum(h.judged), 0)", [](R& r, const Field& f) { r.weekJudged = f.Integer(); }},
      {"coalesce(sum(h.good), 0)", [](R& r, const Field& f) { r.weekGood = f.Integer(); }},
      {"to_char(ls.at, 'DD.MM.YYYY HH24:MI:SS')", [](R& r, const Field& f) { r.lastSync = f.Text(); }},
      // The centre is as far behind as the time since it last confirmed
      // to the depot's server that it holds everything sent.
      {"extract(epoch FROM greatest(now() - s.latest_end_time, interval '0'))::bigint",
       [](R& r, const Field& f) {
         if (!f.IsNull()) r.lagSeconds = f.Integer();
       }},
      {"coalesce(greatest(s.last_msg_receipt_time, ls.at), d.subscribed_at) < now() - interval '1 hour'",
       [](R& r, const Field& f) { r.silent = f.Bool(); }},
      {"d.slot_lost_at IS NOT NULL", [](R& r, const Field& f) { r.slotLost = f.Bool(); }},
  };
  return columns.Fetch(
      " FROM railway_depots d"
      " CROSS JOIN LATERAL (SELECT max(l.last_sync_at) AS at FROM lines l WHERE l.depot = d.code) ls"
      " LEFT JOIN pg_stat_subscription s ON s.subname = d.role_name AND s.relid IS NULL"
      " LEFT JOIN measurement_hours h ON h.depot = d.code"
      "  AND h.hour >= date_trunc('week', current_date) AND h.hour < current_date + 1"
      " GROUP BY d.code, d.subscribed_at, d.slot_lost_at, ls.at, s.latest_end_time, s.last_msg_receipt_time ORDER BY d.code");
}

}  // namespace depot
