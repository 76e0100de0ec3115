# vorelan_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>] [QT]
#                  [SERIAL <regex>])
#
# One GoogleTest executable registered with CTest test by test. Every test
# runs against the build tree's component registry and with a private
# XDG_CONFIG_HOME/XDG_DATA_HOME, so it never touches the user's settings.
# Label "threaded" marks the tests that also run in the ThreadSanitizer build.
# Tests whose names match SERIAL measure real time (a line's timing): they run
# alone, so that other tests running beside them do not disturb the figure.
function(vorelan_add_test)
  cmake_parse_arguments(T "QT" "NAME;SERIAL" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(env
    "VORELAN_COMPONENT_REGISTRY=${VORELAN_BUILD_REGISTRY}"
    "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/testhome/${T_NAME}/config"
    "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/testhome/${T_NAME}/data"
    "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=${CMAKE_SOURCE_DIR}/.ci/tsan.supp"
    "ASAN_OPTIONS=detect_leaks=1"
    "UBSAN_OPTIONS=print_stacktrace=1 halt_on_error=1")
  if(T_QT)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  # gtest_discover_tests would split the environment list and swallow the
  # labels, so the discovered tests get their properties from a file that
  # CTest includes after discovery.
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_LIST ${T_NAME}_TESTS PROPERTIES TIMEOUT 120)
  set(props ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake)
  file(WRITE ${props}
    "foreach(t IN LISTS ${T_NAME}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES ENVIRONMENT \"${env}\" LABELS \"${T_LABELS}\")\n"
    "  if(NOT \"${T_SERIAL}\" STREQUAL \"\" AND \"\${t}\" MATCHES \"${T_SERIAL}\")\n"
    "    set_tests_properties(\"\${t}\" PROPERTIES RUN_SERIAL TRUE)\n"
    "  endif()\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props})
  # Tests that create nodes by class identity need the libraries registered first.
  if(TARGET register_nodes)
    add_dependencies(${T_NAME} register_nodes)
  endif()
endfunction()
