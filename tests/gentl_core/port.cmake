gentesk_test(port_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortTest.cpp LIBS gentl_core)
