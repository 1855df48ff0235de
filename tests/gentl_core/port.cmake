gentesk_test(port_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortTest.cpp LIBS gentl_core)
gentesk_test(module_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ModuleTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestModule.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
          ${CMAKE_CURRENT_LIST_DIR}/LogCapture.cpp
  LIBS gentl_core)
gentesk_test(remote_device_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RemoteDeviceTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
          ${CMAKE_CURRENT_LIST_DIR}/LogCapture.cpp
  LIBS gentl_core)
