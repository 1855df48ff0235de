gentesk_test(gentl_header_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLHeaderTest.cpp ${CMAKE_CURRENT_LIST_DIR}/GenTLHeaderFromC.c)
