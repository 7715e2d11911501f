# Support libraries shared by the tests and the benchmarks, which measure on
# the same made-up signals. Included from both; defined once.
set(KRM_TEST_COMMON ${CMAKE_CURRENT_LIST_DIR})

if(NOT TARGET krm_test_signals)
  # Signals, an in-memory source and a recording observer for the analysis tests.
  add_library(krm_test_signals STATIC ${KRM_TEST_COMMON}/Signals.h ${KRM_TEST_COMMON}/Signals.cpp)
  target_include_directories(krm_test_signals PUBLIC ${KRM_TEST_COMMON})
  target_link_libraries(krm_test_signals PUBLIC krmbase)
endif()

if(NOT TARGET krm_test_alloc)
  # Counting replacements of the global operator new and delete: linking
  # it installs them for the whole executable.
  add_library(krm_test_alloc STATIC ${KRM_TEST_COMMON}/AllocationCounter.h ${KRM_TEST_COMMON}/AllocationCounter.cpp)
  target_include_directories(krm_test_alloc PUBLIC ${KRM_TEST_COMMON})
endif()

if(NOT TARGET krm_test_project AND TARGET krmcore)
  # A project of our making (a generated song, its beats and onsets, Intro 1
  # and Main A) written through the engine, for the window tests, the
  # end-to-end tests (through make_test_project) and the view benchmark.
  add_library(krm_test_project STATIC ${KRM_TEST_COMMON}/TestProject.h ${KRM_TEST_COMMON}/TestProject.cpp)
  target_include_directories(krm_test_project PUBLIC ${KRM_TEST_COMMON})
  target_link_libraries(krm_test_project PUBLIC krmcore krm_test_signals)
  add_executable(make_test_project ${KRM_TEST_COMMON}/make_test_project.cpp)
  target_link_libraries(make_test_project PRIVATE krm_test_project)
endif()

if(NOT TARGET krm_test_import)
  # The songs the import analysis is judged on, played by a band of our
  # own making.
  add_library(krm_test_import STATIC ${KRM_TEST_COMMON}/AnalysisSongs.h ${KRM_TEST_COMMON}/AnalysisSongs.cpp
    ${KRM_TEST_COMMON}/BandSong.h ${KRM_TEST_COMMON}/BandSong.cpp)
  target_include_directories(krm_test_import PUBLIC ${KRM_TEST_COMMON})
  target_link_libraries(krm_test_import PUBLIC krmcore krm_test_signals)
endif()
