gentesk_test(platform_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlatformTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/LogCapture.cpp
  LIBS platform)
