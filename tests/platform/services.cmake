gentesk_test(platform_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServicesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ThreadingTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/LogCapture.cpp
  LIBS platform)
