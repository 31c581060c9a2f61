# One place for warnings and Qt safety defines; every target links hv_warnings.
add_library(hv_warnings INTERFACE)
target_compile_options(hv_warnings INTERFACE -Wall -Wextra)
if(HV_WERROR)
  target_compile_options(hv_warnings INTERFACE -Werror)
endif()
target_compile_definitions(hv_warnings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH)
if(HV_SANITIZE)
  target_compile_options(hv_warnings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(hv_warnings INTERFACE -fsanitize=address,undefined)
endif()
if(HV_BUILD_FUZZERS)
  # Fuzz builds instrument every library, so the fuzzers see coverage beyond their own file.
  target_compile_options(hv_warnings INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(hv_warnings INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(hv_warnings INTERFACE ${PROJECT_SOURCE_DIR})

# hv_add_gtest(name SOURCES ... LIBS ...): one test binary, discovered by CTest.
function(hv_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE hv_warnings GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HV_STAGE_DIR=${HV_STAGE_DIR};HV_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
    DISCOVERY_MODE PRE_TEST)
endfunction()
