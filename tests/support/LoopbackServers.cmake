# The loopback servers and process helpers, with no dependency on RVUtil or GoogleTest, so
# that benchmarks (built without the tests) can run a server in a process of its own.
# Included from tests/support and from bench; defines its targets once.
if(NOT TARGET rvutil_test_servers)
    add_library(rvutil_test_servers STATIC
        ${CMAKE_CURRENT_LIST_DIR}/ChildProcess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ScriptedServer.cpp)
    target_include_directories(rvutil_test_servers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(rvutil_test_servers PUBLIC Threads::Threads PRIVATE Boost::headers)
    rvutil_enable_warnings(rvutil_test_servers)

    # A stand-alone keep-alive HTTP server answering every request with one fixed-size body.
    add_executable(rvutil_loopback_http ${CMAKE_CURRENT_LIST_DIR}/loopback_http_main.cpp)
    target_link_libraries(rvutil_loopback_http PRIVATE rvutil_test_servers)
    rvutil_enable_warnings(rvutil_loopback_http)
endif()
