gentesk_test(consumer_library_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp)
