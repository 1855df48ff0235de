gentesk_test(payload_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PayloadGeneratorTest.cpp LIBS gentesk3d_producer)
