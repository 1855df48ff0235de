# The fixture producer: the framework with the module test doubles, built and
# loaded like the real .cti, so the whole C interface can be driven before
# the sensor layer exists. -z nodelete as the product: its state lives until
# the process ends.
set(fixture_doubles ${CMAKE_CURRENT_LIST_DIR}/../gentl_core)
add_library(gentesk_producer_fixture SHARED
  ${CMAKE_CURRENT_LIST_DIR}/../producer_fixture/FixtureEntry.cpp
  ${fixture_doubles}/ModuleDoubles.cpp
  ${fixture_doubles}/FakeEngineStream.cpp
  ${fixture_doubles}/FakeBuffer.cpp
  ${fixture_doubles}/TestBranding.cpp
  $<TARGET_OBJECTS:gentl_core> $<TARGET_OBJECTS:platform>)
target_include_directories(gentesk_producer_fixture PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(gentesk_producer_fixture PRIVATE Threads::Threads ${CMAKE_DL_LIBS}
  OpenSSL::Crypto)
target_link_options(gentesk_producer_fixture PRIVATE -Wl,-z,nodelete -Wl,-Bsymbolic-functions
  -Wl,--no-undefined)
set_target_properties(gentesk_producer_fixture PROPERTIES PREFIX "" SUFFIX ".cti")

# LOGGED: its rerun passes every GenTL operation through the call log.
gentesk_test(consumer_frontend_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsumerSessionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FrontHandleCheckTest.cpp
  LIBS OpenSSL::Crypto)
target_compile_definitions(consumer_frontend_tests PRIVATE
  GENTESK_FIXTURE_PATH="$<TARGET_FILE:gentesk_producer_fixture>")
add_dependencies(consumer_frontend_tests gentesk_producer_fixture)
