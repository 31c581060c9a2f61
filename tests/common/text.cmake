# Tests of the cipher and the tag reader.
hv_add_gtest(hv_common_text_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/CipherTest.cpp ${CMAKE_CURRENT_SOURCE_DIR}/TagReaderTest.cpp
  LIBS hv_common)
