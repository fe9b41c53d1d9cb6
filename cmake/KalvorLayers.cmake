# One static library per folder of src/, declared from the bottom layer up.
#
#   kalvor_library(FOLDER LAYER n [USES lib...] [QT comp...] [QT_PRIVATE comp...])
#   kalvor_library(FOLDER BESIDE [USES lib...] ...)
#
# kalvor_<FOLDER> is built from every source in src/<FOLDER>/, so a new file
# joins its folder's library without a change here. USES names the folders
# whose libraries it links (and whose headers it may include): only folders
# declared before it, on a lower layer or on its own layer, so the uses run
# one way and a cycle cannot be declared. QT and QT_PRIVATE name the Qt
# components it links beyond those its uses bring. A BESIDE library (the
# simulated line) may use the layers but no layer may use it, and it is not
# part of kalvor_all.
#
#   kalvor_include_exception(FOLDER OTHER REASON)
#
# A known include of OTHER's headers from FOLDER that its uses do not allow,
# listed with the reason until it is removed. The include check fails both on
# an include that is neither used nor excepted and on an exception that no
# include needs any more.
#
# kalvor_write_layers(FILE) writes the declarations for the include check
# (cmake/CheckIncludes.cmake).

set_property(GLOBAL PROPERTY KALVOR_FOLDERS "")
set_property(GLOBAL PROPERTY KALVOR_PROGRAM_LIBRARIES "")

function(kalvor_library folder)
  cmake_parse_arguments(L "BESIDE" "LAYER" "USES;QT;QT_PRIVATE" ${ARGN})
  if(NOT L_BESIDE AND NOT L_LAYER)
    message(FATAL_ERROR "kalvor_library(${folder}): give its LAYER or BESIDE")
  endif()
  if(L_BESIDE)
    set(L_LAYER beside)
  endif()
  get_property(declared GLOBAL PROPERTY KALVOR_FOLDERS)
  set(allowed "")
  foreach(dep IN LISTS L_USES)
    if(NOT dep IN_LIST declared)
      message(FATAL_ERROR "kalvor_library(${folder}): ${dep} is not declared before it; "
                          "a folder uses only folders below it")
    endif()
    get_property(dep_layer GLOBAL PROPERTY KALVOR_LAYER_${dep})
    if(dep_layer STREQUAL "beside")
      message(FATAL_ERROR "kalvor_library(${folder}): ${dep} stands beside the layers; "
                          "nothing may use it")
    endif()
    if(NOT L_BESIDE AND dep_layer GREATER L_LAYER)
      message(FATAL_ERROR "kalvor_library(${folder}): ${dep} is on layer ${dep_layer}, "
                          "above layer ${L_LAYER}")
    endif()
    get_property(dep_allowed GLOBAL PROPERTY KALVOR_ALLOWED_${dep})
    list(APPEND allowed ${dep} ${dep_allowed})
  endforeach()
  list(REMOVE_DUPLICATES allowed)

  file(GLOB sources CONFIGURE_DEPENDS
    ${KALVOR_SRC_DIR}/${folder}/*.cpp ${KALVOR_SRC_DIR}/${folder}/*.h
    ${KALVOR_SRC_DIR}/${folder}/*.ui)
  # main() itself is the program's, not the library's.
  list(FILTER sources EXCLUDE REGEX "/src/main/main\\.cpp$")
  set(target kalvor_${folder})
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${KALVOR_SRC_DIR})
  foreach(dep IN LISTS L_USES)
    target_link_libraries(${target} PUBLIC kalvor_${dep})
  endforeach()
  foreach(component IN LISTS L_QT)
    target_link_libraries(${target} PUBLIC Qt6::${component})
  endforeach()
  foreach(component IN LISTS L_QT_PRIVATE)
    target_link_libraries(${target} PRIVATE Qt6::${component})
  endforeach()

  set_property(GLOBAL APPEND PROPERTY KALVOR_FOLDERS ${folder})
  set_property(GLOBAL PROPERTY KALVOR_LAYER_${folder} ${L_LAYER})
  set_property(GLOBAL PROPERTY KALVOR_ALLOWED_${folder} "${allowed}")
  if(NOT L_BESIDE)
    set_property(GLOBAL APPEND PROPERTY KALVOR_PROGRAM_LIBRARIES ${target})
  endif()
endfunction()

function(kalvor_include_exception folder other reason)
  get_property(declared GLOBAL PROPERTY KALVOR_FOLDERS)
  if(NOT folder IN_LIST declared OR NOT other IN_LIST declared)
    message(FATAL_ERROR "kalvor_include_exception(${folder} ${other}): declare both folders first")
  endif()
  # Linked privately: the exception gives the folder's own code what it
  # needs and nothing to the folders that use it.
  target_link_libraries(kalvor_${folder} PRIVATE kalvor_${other})
  set_property(GLOBAL APPEND PROPERTY KALVOR_EXCEPTIONS_${folder} ${other})
  set_property(GLOBAL PROPERTY KALVOR_EXCEPTION_REASON_${folder}_${other} "${reason}")
endfunction()

function(kalvor_write_layers file)
  get_property(folders GLOBAL PROPERTY KALVOR_FOLDERS)
  set(text "# Written by the configure step from src/CMakeLists.txt.\n")
  string(APPEND text "set(KALVOR_FOLDERS \"${folders}\")\n")
  foreach(folder IN LISTS folders)
    get_property(layer GLOBAL PROPERTY KALVOR_LAYER_${folder})
    get_property(allowed GLOBAL PROPERTY KALVOR_ALLOWED_${folder})
    get_property(exceptions GLOBAL PROPERTY KALVOR_EXCEPTIONS_${folder})
    string(APPEND text "set(KALVOR_LAYER_${folder} \"${layer}\")\n")
    string(APPEND text "set(KALVOR_ALLOWED_${folder} \"${allowed}\")\n")
    string(APPEND text "set(KALVOR_EXCEPTIONS_${folder} \"${exceptions}\")\n")
    foreach(other IN LISTS exceptions)
      get_property(reason GLOBAL PROPERTY KALVOR_EXCEPTION_REASON_${folder}_${other})
      string(APPEND text "set(KALVOR_EXCEPTION_REASON_${folder}_${other} [==[${reason}]==])\n")
    endforeach()
  endforeach()
  file(WRITE ${file} "${text}")
endfunction()
