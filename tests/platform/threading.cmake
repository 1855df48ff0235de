gentesk_test(platform_threading_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ThreadingTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/NamedLockTest.cpp
  LIBS platform)
