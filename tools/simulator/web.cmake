# hvsim: the service simulator program (web pages; SessionServers when their library exists).
add_executable(hvsim
  ${CMAKE_CURRENT_LIST_DIR}/hvsim_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimHttpServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TestCertificate.cpp
)
target_link_libraries(hvsim PRIVATE hv_warnings hv_common Qt6::Core Qt6::Network OpenSSL::Crypto OpenSSL::SSL)
if(TARGET hvsim_sserver)
  target_link_libraries(hvsim PRIVATE hvsim_sserver)
  target_compile_definitions(hvsim PRIVATE HVSIM_HAVE_SSERVER)
endif()
