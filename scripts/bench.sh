#!/bin/sh
# Runs the benchmarks one after another in one run, each headed by the time
# and the load average before it, so that the figures of the README's
# performance table come from one run on one machine:
#
#   scripts/bench.sh [BUILD_DIR] > bench.log 2>&1
#
# BUILD_DIR (default build-bench) is configured with -DKALVOR_BENCH=ON.
# The line's own benchmarks need nothing else. The depot benchmarks fill a
# depot of 10 000 000 measurements, about 20 minutes on two cores; with
# KALVOR_BENCH_DATA=DIR that depot is kept in DIR and resumed by the next
# run. KALVOR_BENCH_ONLY="print statistics" runs only the benchmarks named.
set -u
cd "$(dirname "$0")/.."
BUILD="${1:-build-bench}"
if [ ! -d "$BUILD/bench" ]; then
  echo "bench.sh: no $BUILD/bench; configure with: cmake -B $BUILD -G Ninja -DKALVOR_BENCH=ON -DCMAKE_BUILD_TYPE=Release && cmake --build $BUILD" >&2
  exit 2
fi
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

failed=0
run() {
  name="$1"
  shift
  case " ${KALVOR_BENCH_ONLY:- $name } " in *" $name "*) ;; *) return 0 ;; esac
  echo "=== $name: $(date '+%Y-%m-%d %H:%M:%S'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
  "$BUILD/bench/$name" "$@" || { echo "=== $name: exit $?"; failed=1; }
}

# The line's files, the sorting and the arithmetic.
run browser_bench
run statistics_bench
run database_bench
run sorting_bench
run mathem_bench
# springdata: the export and the capability report.
run springdata_bench
# The print sheet and a measurement against the simulated line.
run print_bench
run measurement_bench
# The depot: the sync against plain COPY and psql, the pages and the alarms
# at 10 000 000 measurements.
run depotsync_bench
run depotpages_bench
run alarms_bench
echo "=== end: $(date '+%Y-%m-%d %H:%M:%S'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
exit $failed
