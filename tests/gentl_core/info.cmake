gentesk_test(info_command_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InfoCommandHandlingTest.cpp LIBS gentl_core)
