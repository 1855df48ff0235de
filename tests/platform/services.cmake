gentesk_test(platform_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlatformTest.cpp
  LIBS platform)
