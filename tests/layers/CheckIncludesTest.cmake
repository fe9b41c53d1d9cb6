# The include check on small made-up trees: it passes a tree whose includes
# follow the declared uses and fails each kind of wrong one.
#
#   cmake -DCHECK=<CheckIncludes.cmake> -DWORK=<scratch folder> -P CheckIncludesTest.cmake

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK})
set(SRC ${WORK}/src)

# The line program: three layers, its pages on the top one, and one folder
# beside them; the depot with one folder that reaches the lower two; the
# tools on top of everything.
function(write_layers exceptions)
  file(WRITE ${WORK}/layers.cmake "
set(KALVOR_PARTS \"src;depot;tools\")
set(KALVOR_PART_ROOT_src src)
set(KALVOR_PART_ROOT_depot depot)
set(KALVOR_PART_ROOT_tools tools)
set(KALVOR_FOLDERS \"low;mid;high;pages;side;server;tool\")
set(KALVOR_PART_low src)
set(KALVOR_LAYER_low 1)
set(KALVOR_ALLOWED_low \"\")
set(KALVOR_EXCEPTIONS_low \"${exceptions}\")
set(KALVOR_EXCEPTION_REASON_low_high [==[kept for a while]==])
set(KALVOR_PART_mid src)
set(KALVOR_LAYER_mid 2)
set(KALVOR_ALLOWED_mid \"low\")
set(KALVOR_PART_high src)
set(KALVOR_LAYER_high 3)
set(KALVOR_ALLOWED_high \"mid;low\")
set(KALVOR_PART_pages src)
set(KALVOR_LAYER_pages 3)
set(KALVOR_ALLOWED_pages \"mid;low\")
set(KALVOR_PART_side src)
set(KALVOR_LAYER_side beside)
set(KALVOR_ALLOWED_side \"high;mid;low\")
set(KALVOR_PART_server depot)
set(KALVOR_LAYER_server 1)
set(KALVOR_ALLOWED_server \"mid;low\")
set(KALVOR_PART_tool tools)
set(KALVOR_LAYER_tool top)
set(KALVOR_ALLOWED_tool \"low;mid;high;pages;side;server\")
")
endfunction()

function(source path text)
  file(WRITE ${SRC}/${path} "${text}")
endfunction()

set(failures 0)
function(expect what ok expected_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} -DLAYERS=${WORK}/layers.cmake -P ${CHECK}
                  RESULT_VARIABLE rv OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(text "${out}${err}")
  set(passed TRUE)
  if(ok AND NOT rv EQUAL 0)
    set(passed FALSE)
  elseif(NOT ok AND rv EQUAL 0)
    set(passed FALSE)
  endif()
  if(expected_text)
    string(FIND "${text}" "${expected_text}" at)
    if(at EQUAL -1)
      set(passed FALSE)
    endif()
  endif()
  if(passed)
    message(STATUS "ok: ${what}")
  else()
    message("FAILED: ${what} (exit ${rv}, looked for \"${expected_text}\"):\n${text}")
    math(EXPR n "${failures} + 1")
    set(failures ${n} PARENT_SCOPE)
  endif()
endfunction()

write_layers("")
source(low/a.h "#pragma once\n#include <QString>\n")
source(mid/b.h "#pragma once\n#include \"low/a.h\"\n")
source(mid/b.cpp "#include \"mid/b.h\"\n#include \"low/a.h\"\n")
source(high/c.h "#pragma once\n")
source(high/c.cpp "#include \"high/c.h\"\n#include \"mid/b.h\"\n#include \"low/a.h\"\n#include \"ui_c.h\"\n")
source(side/s.h "#pragma once\n#include \"high/c.h\"\n")
source(pages/p.h "#pragma once\n#include \"mid/b.h\"\n")
file(WRITE ${WORK}/depot/server/s.h "#pragma once\n#include \"mid/b.h\"\n")
file(WRITE ${WORK}/depot/sql/001_initial.sql "CREATE TABLE t (a int);\n")
file(WRITE ${WORK}/tools/tool/main.cpp "#include \"server/s.h\"\n#include \"pages/p.h\"\n#include \"lib/own.h\"\n")
expect("a tree that follows its uses" TRUE "includes of 7 folders follow the declared uses")

file(WRITE ${WORK}/depot/server/page.cpp "#include \"server/s.h\"\n#include \"pages/p.h\"\n")
expect("the depot including the operator pages" FALSE
       "depot/server/page.cpp includes \"pages/p.h\": server (depot, layer 1) does not use pages (layer 3)")

file(WRITE ${WORK}/depot/server/page.cpp "#include \"tool/t.h\"\n")
expect("the depot including a tool" FALSE
       "depot/server/page.cpp includes \"tool/t.h\": server (depot, layer 1) does not use tool (tools, above every layer)")

file(REMOVE ${WORK}/depot/server/page.cpp)
source(mid/db.cpp "#include \"server/s.h\"\n")
expect("the line program including the depot" FALSE
       "src/mid/db.cpp includes \"server/s.h\": mid (layer 2) does not use server (depot, layer 1)")

file(REMOVE ${SRC}/mid/db.cpp)
file(WRITE ${WORK}/depot/extra/e.cpp "#include \"low/a.h\"\n")
expect("a depot folder without a declaration" FALSE "depot/extra/ is not declared in depot/CMakeLists.txt")
file(REMOVE_RECURSE ${WORK}/depot/extra)

source(low/bad.cpp "#include \"low/a.h\"\n  #  include \"high/c.h\"  // upward\n")
expect("an include from a lower layer of a higher one" FALSE
       "src/low/bad.cpp includes \"high/c.h\": low (layer 1) does not use high (layer 3)")

file(REMOVE ${SRC}/low/bad.cpp)
source(mid/sim.cpp "#include \"side/s.h\"\n")
expect("a layer including what stands beside the layers" FALSE
       "src/mid/sim.cpp includes \"side/s.h\": mid (layer 2) does not use side (beside the layers)")

file(REMOVE ${SRC}/mid/sim.cpp)
source(mid/nested/deep.h "#include \"high/c.h\"\n")
expect("a wrong include in a subfolder" FALSE "src/mid/nested/deep.h includes \"high/c.h\"")

file(REMOVE_RECURSE ${SRC}/mid/nested)
write_layers("high")
source(low/bad.cpp "#include \"high/c.h\"\n")
expect("an include listed as an exception" TRUE "known exception low -> high: kept for a while")

file(REMOVE ${SRC}/low/bad.cpp)
expect("an exception no include needs any more" FALSE
       "the exception low -> high is no longer needed")

write_layers("")
source(extra/e.cpp "#include \"low/a.h\"\n")
expect("a folder without a declaration" FALSE "src/extra/ is not declared")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) of the include check failed")
endif()
