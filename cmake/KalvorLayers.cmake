# One static library per folder, declared from the bottom layer up, in parts:
# the line program (src/), the depot (depot/), and the tools (tools/) on top.
#
#   kalvor_part(NAME ROOT dir [PREFIX prefix] [REACHES folder...])
#
# Starts a part in the calling CMakeLists.txt (or, named alone, goes on with
# one declared before): its folders are those under
# ROOT, their libraries are named PREFIX<folder> (kalvor_ unless told), and
# REACHES names the folders of earlier parts its libraries may use (with what
# those use in turn). A part reaches nothing else of another part; the line
# program (src) reaches nothing, so nothing of the depot or the tools can
# enter it.
#
#   kalvor_library(FOLDER LAYER n [USES lib...] [QT comp...] [QT_PRIVATE comp...])
#   kalvor_library(FOLDER BESIDE [USES lib...] ...)
#
# The folder's library is built from every source in <ROOT>/<FOLDER>/ but its
# main.cpp (a program's main() over the library), so a new file joins its
# folder's library without a change here. Qt's moc runs for the libraries
# whose files declare a Q_OBJECT, and for no other target. USES names the
# folders whose libraries it links (and whose headers it may include): folders
# of its own part declared before it, on a lower layer or on its own layer, so
# the uses run one way and a cycle cannot be declared, and the folders its
# part reaches. QT and QT_PRIVATE name the Qt components it links beyond those
# its uses bring. A BESIDE library (the simulated line) may use the layers but
# no layer may use it, and it is not part of kalvor_all, which gathers the
# line program's libraries only.
#
#   kalvor_program_folder(FOLDER)
#
# A folder of programs on top of every part (the tools): it may include
# every folder declared before it, and nothing may use it.
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
set_property(GLOBAL PROPERTY KALVOR_PARTS "")
set_property(GLOBAL PROPERTY KALVOR_PROGRAM_LIBRARIES "")

macro(kalvor_part name)
  cmake_parse_arguments(KALVOR_PART_ARG "" "ROOT;PREFIX" "REACHES" ${ARGN})
  get_property(kalvor_parts_ GLOBAL PROPERTY KALVOR_PARTS)
  set(KALVOR_PART ${name})
  if(name IN_LIST kalvor_parts_)
    # A later CMakeLists.txt of the part goes on where the first left off.
    if(KALVOR_PART_ARG_ROOT OR KALVOR_PART_ARG_REACHES)
      message(FATAL_ERROR "kalvor_part(${name}): the part is declared already; name it alone to go on")
    endif()
    get_property(kalvor_root_ GLOBAL PROPERTY KALVOR_PART_ROOT_${name})
    get_property(KALVOR_TARGET_PREFIX GLOBAL PROPERTY KALVOR_PART_PREFIX_${name})
    set(KALVOR_SRC_DIR ${PROJECT_SOURCE_DIR}/${kalvor_root_})
  else()
    get_property(kalvor_declared_ GLOBAL PROPERTY KALVOR_FOLDERS)
    foreach(reached IN LISTS KALVOR_PART_ARG_REACHES)
      if(NOT reached IN_LIST kalvor_declared_)
        message(FATAL_ERROR "kalvor_part(${name}): ${reached} is not declared before it")
      endif()
    endforeach()
    set(KALVOR_SRC_DIR ${KALVOR_PART_ARG_ROOT})
    if(KALVOR_PART_ARG_PREFIX)
      set(KALVOR_TARGET_PREFIX ${KALVOR_PART_ARG_PREFIX})
    else()
      set(KALVOR_TARGET_PREFIX kalvor_)
    endif()
    file(RELATIVE_PATH kalvor_root_ ${PROJECT_SOURCE_DIR} ${KALVOR_PART_ARG_ROOT})
    set_property(GLOBAL APPEND PROPERTY KALVOR_PARTS ${name})
    set_property(GLOBAL PROPERTY KALVOR_PART_ROOT_${name} ${kalvor_root_})
    set_property(GLOBAL PROPERTY KALVOR_PART_PREFIX_${name} ${KALVOR_TARGET_PREFIX})
    set_property(GLOBAL PROPERTY KALVOR_PART_REACHES_${name} "${KALVOR_PART_ARG_REACHES}")
  endif()
endmacro()

function(kalvor_library folder)
  cmake_parse_arguments(L "BESIDE" "LAYER" "USES;QT;QT_PRIVATE" ${ARGN})
  if(NOT KALVOR_PART)
    message(FATAL_ERROR "kalvor_library(${folder}): start its part first (kalvor_part)")
  endif()
  if(NOT L_BESIDE AND NOT L_LAYER)
    message(FATAL_ERROR "kalvor_library(${folder}): give its LAYER or BESIDE")
  endif()
  if(L_BESIDE)
    set(L_LAYER beside)
  endif()
  get_property(declared GLOBAL PROPERTY KALVOR_FOLDERS)
  if(folder IN_LIST declared)
    message(FATAL_ERROR "kalvor_library(${folder}): a folder of that name is declared already; "
                        "an include names its folder, so folder names are one across the parts")
  endif()
  get_property(reaches GLOBAL PROPERTY KALVOR_PART_REACHES_${KALVOR_PART})
  set(allowed "")
  foreach(dep IN LISTS L_USES)
    if(NOT dep IN_LIST declared)
      message(FATAL_ERROR "kalvor_library(${folder}): ${dep} is not declared before it; "
                          "a folder uses only folders below it")
    endif()
    get_property(dep_part GLOBAL PROPERTY KALVOR_PART_${dep})
    get_property(dep_layer GLOBAL PROPERTY KALVOR_LAYER_${dep})
    if(NOT dep_part STREQUAL KALVOR_PART)
      if(NOT dep IN_LIST reaches)
        string(REPLACE ";" ", " may "${reaches}")
        message(FATAL_ERROR "kalvor_library(${folder}): ${dep} belongs to ${dep_part}, which "
                            "${KALVOR_PART} does not reach; ${KALVOR_PART} reaches: ${may}")
      endif()
    elseif(dep_layer STREQUAL "beside")
      message(FATAL_ERROR "kalvor_library(${folder}): ${dep} stands beside the layers; "
                          "nothing may use it")
    elseif(NOT L_BESIDE AND dep_layer GREATER L_LAYER)
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
  list(REMOVE_ITEM sources ${KALVOR_SRC_DIR}/${folder}/main.cpp)
  set(target ${KALVOR_TARGET_PREFIX}${folder})
  add_library(${target} STATIC ${sources})
  # Qt's moc for a folder whose code declares a Q_OBJECT (looked for when
  # CMake runs: a Q_OBJECT added to a file already there needs a new
  # configure, `cmake build`).
  foreach(source IN LISTS sources)
    file(STRINGS ${source} qobject LIMIT_COUNT 1 REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE")
    if(qobject)
      set_target_properties(${target} PROPERTIES AUTOMOC ON)
      break()
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${KALVOR_SRC_DIR})
  foreach(dep IN LISTS L_USES)
    get_property(dep_target GLOBAL PROPERTY KALVOR_TARGET_${dep})
    target_link_libraries(${target} PUBLIC ${dep_target})
  endforeach()
  foreach(component IN LISTS L_QT)
    target_link_libraries(${target} PUBLIC Qt6::${component})
  endforeach()
  foreach(component IN LISTS L_QT_PRIVATE)
    target_link_libraries(${target} PRIVATE Qt6::${component})
  endforeach()

  set_property(GLOBAL APPEND PROPERTY KALVOR_FOLDERS ${folder})
  set_property(GLOBAL PROPERTY KALVOR_PART_${folder} ${KALVOR_PART})
  set_property(GLOBAL PROPERTY KALVOR_TARGET_${folder} ${target})
  set_property(GLOBAL PROPERTY KALVOR_LAYER_${folder} ${L_LAYER})
  set_property(GLOBAL PROPERTY KALVOR_ALLOWED_${folder} "${allowed}")
  if(NOT L_BESIDE AND KALVOR_PART STREQUAL "src")
    set_property(GLOBAL APPEND PROPERTY KALVOR_PROGRAM_LIBRARIES ${target})
  endif()
endfunction()

function(kalvor_program_folder folder)
  if(NOT KALVOR_PART)
    message(FATAL_ERROR "kalvor_program_folder(${folder}): start its part first (kalvor_part)")
  endif()
  get_property(declared GLOBAL PROPERTY KALVOR_FOLDERS)
  if(folder IN_LIST declared)
    message(FATAL_ERROR "kalvor_program_folder(${folder}): a folder of that name is declared already")
  endif()
  set_property(GLOBAL APPEND PROPERTY KALVOR_FOLDERS ${folder})
  set_property(GLOBAL PROPERTY KALVOR_PART_${folder} ${KALVOR_PART})
  set_property(GLOBAL PROPERTY KALVOR_LAYER_${folder} top)
  set_property(GLOBAL PROPERTY KALVOR_ALLOWED_${folder} "${declared}")
endfunction()

function(kalvor_include_exception folder other reason)
  get_property(declared GLOBAL PROPERTY KALVOR_FOLDERS)
  if(NOT folder IN_LIST declared)
    message(FATAL_ERROR "kalvor_include_exception(${folder} ${other}): declare ${folder} first")
  endif()
  # Linked privately: the exception gives the folder's own code what it
  # needs and nothing to the folders that use it. OTHER may be declared
  # later (a folder of programs); then, or where it has no library of its
  # own, the caller links what the exception needs.
  get_property(target GLOBAL PROPERTY KALVOR_TARGET_${folder})
  get_property(other_target GLOBAL PROPERTY KALVOR_TARGET_${other})
  if(other_target)
    target_link_libraries(${target} PRIVATE ${other_target})
  endif()
  set_property(GLOBAL APPEND PROPERTY KALVOR_EXCEPTIONS_${folder} ${other})
  set_property(GLOBAL PROPERTY KALVOR_EXCEPTION_REASON_${folder}_${other} "${reason}")
endfunction()

function(kalvor_write_layers file)
  get_property(folders GLOBAL PROPERTY KALVOR_FOLDERS)
  get_property(parts GLOBAL PROPERTY KALVOR_PARTS)
  set(text "# Written by the configure step from the parts' CMakeLists.txt.\n")
  string(APPEND text "set(KALVOR_PARTS \"${parts}\")\n")
  foreach(part IN LISTS parts)
    get_property(root GLOBAL PROPERTY KALVOR_PART_ROOT_${part})
    string(APPEND text "set(KALVOR_PART_ROOT_${part} \"${root}\")\n")
  endforeach()
  string(APPEND text "set(KALVOR_FOLDERS \"${folders}\")\n")
  foreach(folder IN LISTS folders)
    get_property(part GLOBAL PROPERTY KALVOR_PART_${folder})
    get_property(layer GLOBAL PROPERTY KALVOR_LAYER_${folder})
    get_property(allowed GLOBAL PROPERTY KALVOR_ALLOWED_${folder})
    get_property(exceptions GLOBAL PROPERTY KALVOR_EXCEPTIONS_${folder})
    string(APPEND text "set(KALVOR_PART_${folder} \"${part}\")\n")
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
