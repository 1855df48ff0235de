# What a consumer relies on when things go wrong: the standard stacked
# part-info layout, out of memory, a quiet terminal, calls during exit().
gentesk_test(consumer_safety_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsumerSafetyTest.cpp
  LIBS OpenSSL::Crypto)
target_compile_definitions(consumer_safety_tests PRIVATE
  GENTESK_FIXTURE_PATH="$<TARGET_FILE:gentesk_producer_fixture>")
add_dependencies(consumer_safety_tests gentesk_producer_fixture)
