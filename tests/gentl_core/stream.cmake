gentesk_test(gentl_core_stream_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLDataStreamTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeEngineStream.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
  LIBS gentl_core)
