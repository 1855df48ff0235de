gentesk_test(platform_services_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EnvironmentTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/DebugOutputTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ClockTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ModulePathTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/LogCapture.cpp
  LIBS platform)
