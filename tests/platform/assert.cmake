gentesk_test(assert_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/AssertTest.cpp LIBS platform)
