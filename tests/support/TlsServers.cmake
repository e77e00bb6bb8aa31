# The TLS relay in front of the loopback servers and the test certificate authority.
# Included by the suites that need them; defines its target once.
if(NOT TARGET rvutil_test_tls)
    add_library(rvutil_test_tls STATIC
        ${CMAKE_CURRENT_LIST_DIR}/TestCertificates.cpp
        ${CMAKE_CURRENT_LIST_DIR}/TlsFront.cpp)
    target_include_directories(rvutil_test_tls PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(rvutil_test_tls PUBLIC rvutil_test_servers)
    rvutil_enable_warnings(rvutil_test_tls)
endif()
