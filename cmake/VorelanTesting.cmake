# vorelan_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>]
#                  [QT | QT_CORE | QT_APP])
#
# One GoogleTest executable registered with CTest test by test. CTest runs
# each test as a process of its own, several at once; the program's main()
# (testing/) gives every process a private XDG_CONFIG_HOME/XDG_DATA_HOME,
# made fresh and removed at exit, so no test reads what another wrote and
# none touches the user's settings. Every test runs against the build tree's
# component registry.
# The Qt programs get one application object for the whole run: QT a
# QApplication (widgets, on the offscreen platform), QT_CORE a
# QCoreApplication, QT_APP one that the program's own sources create
# (testing/QtTestApplication.h).
# Label "threaded" marks the tests that also run in the ThreadSanitizer build.
# No test measures how long something takes (bench/ does), so every test may
# run beside any other.
function(vorelan_add_test)
  cmake_parse_arguments(T "QT;QT_CORE;QT_APP" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_QT)
    set(main vorelan_test_widgets_app)
  elseif(T_QT_CORE)
    set(main vorelan_test_core_app)
  elseif(T_QT_APP)
    set(main vorelan_qt_test_main)
  else()
    set(main vorelan_test_main)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${main} GTest::gtest GTest::gmock)
  set(env
    "VORELAN_COMPONENT_REGISTRY=${VORELAN_BUILD_REGISTRY}"
    "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=${CMAKE_SOURCE_DIR}/.ci/tsan.supp"
    "ASAN_OPTIONS=detect_leaks=1"
    "UBSAN_OPTIONS=print_stacktrace=1 halt_on_error=1")
  if(T_QT OR T_QT_APP)
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
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props})
  # Tests that create nodes by class identity need the libraries registered first.
  if(TARGET register_nodes)
    add_dependencies(${T_NAME} register_nodes)
  endif()
endfunction()
