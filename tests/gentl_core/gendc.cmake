gentesk_test(gendc_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenDCProtocolSupportTest.cpp LIBS gentl_core)
