# The migrations are compiled into kalvor_depot_pg from depot/sql, so every
# program applies and checks the one schema that sits in the tree. Editing or
# adding a file re-runs the configure step.
file(GLOB KALVOR_DEPOT_SQL CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/sql/[0-9]*.sql)
# The railway centre's reshaping of that schema, applied after it.
set(KALVOR_CENTRAL_SQL ${CMAKE_CURRENT_SOURCE_DIR}/sql/central/central.sql)
file(READ ${KALVOR_CENTRAL_SQL} central_text)
list(SORT KALVOR_DEPOT_SQL)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KALVOR_DEPOT_SQL} ${KALVOR_CENTRAL_SQL})
set(entries "")
foreach(file ${KALVOR_DEPOT_SQL})
  get_filename_component(name ${file} NAME)
  file(READ ${file} text)
  string(APPEND entries "  {\"${name}\", R\"kalvorsql(${text})kalvorsql\"},\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/migrationfiles.cpp CONTENT
"// Made by depot/pg/migrations.cmake from depot/sql/*.sql; do not edit.
#include \"pg/migrations.h\"
namespace depot {
const std::vector<MigrationFile>& MigrationFiles() {
  static const std::vector<MigrationFile> files = {
${entries}  };
  return files;
}
const char* CentralSchemaSql() {
  return R\"kalvorsql(${central_text})kalvorsql\";
}
}  // namespace depot
")
target_sources(kalvor_depot_pg PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/migrationfiles.cpp)
