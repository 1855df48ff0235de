gentesk_test(call_log_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLSrvLoggedTest.cpp LIBS gentl_core)
