# The compile lines of a build name no folder of the checkout in their
# definitions or flags: ccache takes the paths relative to the checkout only
# in the include paths and the file names, so such a definition makes every
# clone in another folder compile the file afresh. The benchmarks, whose
# lines name their cluster, are left out.
#
#   cmake -DNINJA=<build>/build.ninja -DROOT=<source tree> -P CheckCompileLines.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT NINJA OR NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DNINJA=<build.ninja> -DROOT=<source tree> -P CheckCompileLines.cmake")
endif()

file(STRINGS ${NINJA} lines REGEX "^build [^:]+\\.o: |^  (DEFINES|FLAGS) = ")
set(object "")
set(faults "")
set(checked 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^build ([^:]+\\.o): ")
    set(object ${CMAKE_MATCH_1})
    math(EXPR checked "${checked} + 1")
  elseif(NOT object MATCHES "^bench/")
    string(FIND "${line}" "${ROOT}" at)
    if(at GREATER -1)
      list(APPEND faults "${object}:${line}")
    endif()
  endif()
endforeach()

if(faults)
  foreach(fault IN LISTS faults)
    message("${fault}")
  endforeach()
  list(LENGTH faults n)
  message(FATAL_ERROR "${n} compile line(s) name the checkout's folder ${ROOT}")
endif()
message(STATUS "${checked} compile lines name no folder of the checkout")
