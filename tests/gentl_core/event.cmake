gentesk_test(gentl_core_event_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EventTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EventPacketTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/NewBufferEventTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EventSrcTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EventLogTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/LogCapture.cpp
  LIBS gentl_core)
