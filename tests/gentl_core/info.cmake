gentesk_test(info_command_tests LOGGED SOURCES ${CMAKE_CURRENT_LIST_DIR}/InfoCommandHandlingTest.cpp LIBS gentl_core)
