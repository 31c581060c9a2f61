# Tests of the INI reader/writer, the settings tree and its registry-style wrapper.
hv_add_gtest(storage_ini_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/storage_ini_test.cpp LIBS hv_common)
hv_add_gtest(storage_settings_tree_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/storage_settings_tree_test.cpp LIBS hv_common)

if(HV_BUILD_FUZZERS)
  add_executable(storage_fuzz ${CMAKE_CURRENT_LIST_DIR}/storage_fuzz.cpp)
  target_compile_options(storage_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(storage_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(storage_fuzz PRIVATE hv_warnings hv_common)
endif()
