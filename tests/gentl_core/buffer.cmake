gentesk_test(gentl_core_buffer_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLBufferTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
  LIBS gentl_core)
