gentesk_test(consumer_library_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp)
