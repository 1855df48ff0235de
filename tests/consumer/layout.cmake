# A consumer compiled against the standard stacked part-info entry layout.
gentesk_test(consumer_layout_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StackedPartInfoTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StandardPartInfoLayout.c
          ${CMAKE_CURRENT_LIST_DIR}/FixtureSession.cpp
  LIBS OpenSSL::Crypto)
target_compile_definitions(consumer_layout_tests PRIVATE
  GENTESK_FIXTURE_PATH="$<TARGET_FILE:gentesk_producer_fixture>")
add_dependencies(consumer_layout_tests gentesk_producer_fixture)
