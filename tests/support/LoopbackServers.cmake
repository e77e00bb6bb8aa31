# The loopback servers and process helpers, with no dependency on RVUtil or GoogleTest, so
# that benchmarks (built without the tests) can use them too.
# Included from tests/support and from bench; defines its targets once.
if(NOT TARGET rvutil_test_servers)
    add_library(rvutil_test_servers STATIC
        ${CMAKE_CURRENT_LIST_DIR}/ChildProcess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ScriptedServer.cpp)
    target_include_directories(rvutil_test_servers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(rvutil_test_servers PUBLIC rvutil_loopback Threads::Threads PRIVATE Boost::headers)
    rvutil_enable_warnings(rvutil_test_servers)
endif()
