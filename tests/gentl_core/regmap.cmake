gentesk_test(regmap_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegisterMapTest.cpp LIBS gentl_core)
