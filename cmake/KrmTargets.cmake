# Helpers that turn a source folder into one library target, and a test
# folder into one GoogleTest executable. New source files are picked up
# by re-running the configure step (CONFIGURE_DEPENDS does it on build).

# krm_add_library(<name> DIR <folder> [RECURSE] [EXCLUDE <subfolder>...]
#                 [PUBLIC_DEPS <target>...] [INCLUDE_DIRS <dir>...])
function(krm_add_library name)
  cmake_parse_arguments(A "RECURSE" "DIR" "EXCLUDE;PUBLIC_DEPS;INCLUDE_DIRS" ${ARGN})
  if(NOT A_DIR)
    set(A_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(patterns ${A_DIR}/*.cpp ${A_DIR}/*.c ${A_DIR}/*.h ${A_DIR}/*.hpp ${A_DIR}/*.ui ${A_DIR}/*.qrc)
  if(A_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${patterns})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${patterns})
  endif()
  foreach(ex ${A_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${A_DIR}/${ex}/")
  endforeach()
  set(compiled ${srcs})
  list(FILTER compiled INCLUDE REGEX "\\.(cpp|c)$")
  if(compiled)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${A_DIR} ${A_INCLUDE_DIRS})
    target_link_libraries(${name} PUBLIC ${A_PUBLIC_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${A_DIR} ${A_INCLUDE_DIRS})
    target_link_libraries(${name} INTERFACE ${A_PUBLIC_DEPS})
  endif()
endfunction()

# krm_add_test_dir(<name> DIR <folder> LIBS <target>... [LABELS <label>...])
# Every *.cpp directly in the folder goes into one test executable whose
# tests are registered one by one with CTest (with the given labels).
function(krm_add_test_dir name)
  cmake_parse_arguments(A "" "DIR" "LIBS;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${A_DIR}/*.cpp ${A_DIR}/*.h)
  set(compiled ${srcs})
  list(FILTER compiled INCLUDE REGEX "\\.cpp$")
  if(NOT compiled)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE krm_test_main ${A_LIBS})
  target_include_directories(${name} PRIVATE ${A_DIR})
  set(labels)
  if(A_LABELS)
    set(labels LABELS "${A_LABELS}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${labels}
    DISCOVERY_TIMEOUT 60)
endfunction()
