# The fixture producer: the framework with fake interface, device and engine,
# built and loaded like the real .cti, so the whole C interface can be driven
# before the sensor layer exists. -z nodelete as the product: its state lives
# until the process ends.
set(fixture_dir ${CMAKE_CURRENT_LIST_DIR}/../producer_fixture)
add_library(gentesk_producer_fixture SHARED
  ${fixture_dir}/FixtureEntry.cpp
  ${fixture_dir}/FixtureProducer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/FakeEngineStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/FakeBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../gentl_core/TestBranding.cpp
  $<TARGET_OBJECTS:gentl_core> $<TARGET_OBJECTS:platform>)
target_include_directories(gentesk_producer_fixture PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(gentesk_producer_fixture PRIVATE Threads::Threads ${CMAKE_DL_LIBS}
  OpenSSL::Crypto)
target_link_options(gentesk_producer_fixture PRIVATE -Wl,-z,nodelete -Wl,-Bsymbolic-functions
  -Wl,--no-undefined)
set_target_properties(gentesk_producer_fixture PROPERTIES PREFIX "" SUFFIX ".cti")

# gentesk_fixture_test(<name> SOURCES ... [PER_CASE]): a consumer test that loads the
# fixture producer from GENTESK_FIXTURE_PATH.
function(gentesk_fixture_test name)
  cmake_parse_arguments(F "PER_CASE" "" "SOURCES" ${ARGN})
  set(per_case)
  if(F_PER_CASE)
    set(per_case PER_CASE)
  endif()
  gentesk_test(${name} ${per_case} SOURCES ${F_SOURCES} LIBS OpenSSL::Crypto)
  target_compile_definitions(${name} PRIVATE
    GENTESK_FIXTURE_PATH="$<TARGET_FILE:gentesk_producer_fixture>")
  add_dependencies(${name} gentesk_producer_fixture)
endfunction()

gentesk_fixture_test(consumer_frontend_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConsumerSessionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FrontHandleCheckTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FixtureSession.cpp)

gentesk_test(consumer_real_producer_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RealProducerTest.cpp
  LIBS OpenSSL::Crypto)

gentesk_test(consumer_call_log_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CallLogConsumerTest.cpp)
