gentesk_test(gendc_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenDCProtocolSupportTest.cpp LIBS gentl_core)
