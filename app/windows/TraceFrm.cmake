# The Trace window, its list model, the trace file and the frame reception.
target_sources(vorelan_windows PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TraceFrm.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceFrm.h
  ${CMAKE_CURRENT_LIST_DIR}/TraceLine.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceLine.h
  ${CMAKE_CURRENT_LIST_DIR}/TraceListModel.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceListModel.h
  ${CMAKE_CURRENT_LIST_DIR}/TraceFile.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceFile.h
  ${CMAKE_CURRENT_LIST_DIR}/TraceReceiver.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceReceiver.h)

# Lines and trace files: no thread, no board.
vorelan_add_test(NAME trace_file_tests QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/TraceLineTest.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/TraceFileTest.cpp
  LIBS vorelan_windows Qt6::Test)

# The window and the reception against the simulated board behind a pty.
vorelan_add_test(NAME trace_window_tests QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/TraceFrmTest.cpp ${CMAKE_CURRENT_LIST_DIR}/tests/TraceReceptionTest.cpp
          ${PROJECT_SOURCE_DIR}/app/nodes/tests/LinkFixture.cpp
  LIBS vorelan_windows boardsim Qt6::Test
  LABELS threaded)
target_include_directories(trace_window_tests PRIVATE ${PROJECT_SOURCE_DIR}/app/nodes/tests)

# Figures for people: saving, loading and showing a long trace.
if(VORELAN_BUILD_BENCH)
  add_executable(trace_bench ${CMAKE_CURRENT_LIST_DIR}/bench/TraceBench.cpp)
  target_link_libraries(trace_bench PRIVATE vorelan_windows)
endif()
