gentesk_test(logger_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LoggerTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/LogCapture.cpp
  LIBS gentl_core)
