gentesk_test(gentl_core_event_tests LOGGED SOURCES ${CMAKE_CURRENT_LIST_DIR}/EventTest.cpp LIBS gentl_core)
