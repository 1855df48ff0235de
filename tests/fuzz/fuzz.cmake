# libFuzzer targets, only in a clang build configured with -DGENTESK_FUZZ=ON
# (scripts/fuzz): each builds just the libraries it calls.
option(GENTESK_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(GENTESK_FUZZ)
  set(fuzz_dir ${CMAKE_CURRENT_LIST_DIR})
  function(gentesk_fuzzer name)
    add_executable(fuzz_${name} ${ARGN})
    target_include_directories(fuzz_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
      ${CMAKE_CURRENT_SOURCE_DIR}/sensor_library)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  endfunction()
  gentesk_fuzzer(receive ${fuzz_dir}/FuzzReceive.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/support/ContainerBuilder.cpp)
  target_link_libraries(fuzz_receive PRIVATE sensor_library)
  gentesk_fuzzer(linearization ${fuzz_dir}/FuzzLinearization.cpp)
  target_link_libraries(fuzz_linearization PRIVATE sensor_library)
  gentesk_fuzzer(xml_status ${fuzz_dir}/FuzzXmlStatus.cpp)
  target_link_libraries(fuzz_xml_status PRIVATE sensor_library)
  gentesk_fuzzer(log_config ${fuzz_dir}/FuzzLogConfig.cpp)
  target_link_libraries(fuzz_log_config PRIVATE sensor_library)
  gentesk_fuzzer(gentl_port ${fuzz_dir}/FuzzGenTLPort.cpp
    ${CMAKE_SOURCE_DIR}/gentl_producers/GenTesk3d/GenTesk3dModule.cpp)
  target_link_libraries(fuzz_gentl_port PRIVATE gentesk3d_producer gentl_core sensor_library
    platform OpenSSL::Crypto PkgConfig::TINYXML2)
  gentesk_fuzzer(sensor_replies ${fuzz_dir}/FuzzSensorReplies.cpp)
  target_link_libraries(fuzz_sensor_replies PRIVATE gentesk3d_producer gentl_core sensor_library
    platform)
  gentesk_fuzzer(discovery ${fuzz_dir}/FuzzDiscovery.cpp)
  target_link_libraries(fuzz_discovery PRIVATE gentesk3d_producer gentl_core platform)
  add_executable(fuzz_seeds ${fuzz_dir}/FuzzSeeds.cpp)
  target_link_libraries(fuzz_seeds PRIVATE test_support)
endif()
