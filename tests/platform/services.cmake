gentesk_test(platform_services_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EnvironmentTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/DebugOutputTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ThreadLocalTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ThreadInfoTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ClockTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ModulePathTest.cpp
  LIBS platform)
