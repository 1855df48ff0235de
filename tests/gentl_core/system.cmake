gentesk_test(gentl_core_system_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLSystemTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ModuleDoubles.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeEngineStream.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
  LIBS gentl_core)
