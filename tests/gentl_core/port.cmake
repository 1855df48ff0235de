gentesk_test(port_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/RegisterMapTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ModuleDoubles.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeEngineStream.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
  LIBS gentl_core)
