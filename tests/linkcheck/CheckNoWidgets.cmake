# Fails when the program PROBE depends on a Qt GUI library: the layers it
# links (base, style, stretch, analysis) must link Qt Core only.
#   cmake -DPROBE=<program> -P CheckNoWidgets.cmake
if(NOT PROBE OR NOT EXISTS "${PROBE}")
  message(FATAL_ERROR "no probe program: '${PROBE}'")
endif()
execute_process(COMMAND ldd "${PROBE}" OUTPUT_VARIABLE libs RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ldd failed on ${PROBE}")
endif()
if(NOT libs MATCHES "libQt5Core")
  message(FATAL_ERROR "the probe does not link Qt Core; the check would prove nothing:\n${libs}")
endif()
string(REGEX MATCHALL "libQt5(Gui|Widgets)[^ \t\n]*" gui "${libs}")
if(gui)
  message(FATAL_ERROR "the layers beneath the engine link ${gui}:\n${libs}")
endif()
message(STATUS "Qt Core only:\n${libs}")
