gentesk_test(assert_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/AssertTest.cpp LIBS platform)
