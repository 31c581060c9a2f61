# Tests of the INI reader/writer, the settings tree and its registry-style wrapper.
hv_add_gtest(storage_ini_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/storage_ini_test.cpp LIBS hv_common)
hv_add_gtest(storage_settings_tree_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/storage_settings_tree_test.cpp LIBS hv_common)
