# The Registers window.
target_sources(vorelan_windows PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/RegFrm.cpp ${CMAKE_CURRENT_LIST_DIR}/RegFrm.h)

# Against the board simulator behind a pty, with the program's real nodes and
# register access thread; the register thread and the timer run threads.
vorelan_add_test(NAME windows_regfrm_tests QT
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/RegFrmLayoutTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/RegFrmLinkTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/RegFrmTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/RegFrmTestSupport.h
    ${PROJECT_SOURCE_DIR}/app/nodes/tests/LinkFixture.cpp
  LIBS vorelan_windows boardsim Qt6::Test
  LABELS threaded)
target_include_directories(windows_regfrm_tests PRIVATE ${PROJECT_SOURCE_DIR}/app/nodes/tests)
