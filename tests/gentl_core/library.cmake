set(module_doubles ${CMAKE_CURRENT_LIST_DIR}/ModuleDoubles.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/FakeEngineStream.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp)
gentesk_test(gentl_library_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLLibraryTest.cpp ${module_doubles}
  LIBS gentl_core OpenSSL::Crypto)
# The start-up is one-shot: a process per case.
gentesk_test(gentl_startup_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLCoreTest.cpp ${module_doubles}
  LIBS gentl_core OpenSSL::Crypto)
