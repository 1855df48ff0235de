gentesk_test(gendc_tests LOGGED SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenDCProtocolSupportTest.cpp LIBS gentl_core)
