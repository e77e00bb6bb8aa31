# The claims docs/architecture.md makes about the tree's structure, held as checks:
#   cmake -DSOURCE_DIR=<tree> [-DRVFETCH=<built rvfetch>] -P structure_check.cmake
# Each broken claim is printed with the files that break it; any fails the run.
set(failures "")

# The files under dirs (relative to SOURCE_DIR) whose text matches pattern.
function(files_matching out pattern)
    set(found "")
    foreach(dir IN LISTS ARGN)
        file(GLOB_RECURSE files ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
        foreach(file IN LISTS files)
            file(STRINGS ${file} hits REGEX "${pattern}")
            if(hits)
                file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
                list(APPEND found ${relative})
            endif()
        endforeach()
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# claim: the files that match pattern all lie under one of the allowed folders.
function(expect_only claim pattern allowed)
    files_matching(found "${pattern}" src include tools)
    set(stray "")
    foreach(file IN LISTS found)
        set(inside FALSE)
        foreach(folder IN LISTS allowed)
            string(FIND "${file}" "${folder}/" at)
            if(at EQUAL 0)
                set(inside TRUE)
            endif()
        endforeach()
        if(NOT inside)
            list(APPEND stray ${file})
        endif()
    endforeach()
    if(stray)
        set(failures "${failures}\n${claim}: ${stray}" PARENT_SCOPE)
    endif()
endfunction()

# An include that climbs out of its folder is resolved beside the including file, not in
# the layer's view, and so would pass the views by.
files_matching(climbing "#include \"\\.\\./" src include tools tests fuzz bench)
if(climbing)
    set(failures "${failures}\nan include climbs out of its folder: ${climbing}")
endif()

expect_only("only the transport includes Asio, Beast or OpenSSL"
            "#include <(boost|openssl)/" "src/transport")
expect_only("only the curl fetcher includes libcurl's header" "#include <curl/" "src/curl")
expect_only("only the log includes spdlog" "#include <spdlog/" "src/log")
expect_only("only the decoding layer and the loopback body makers include the compressors"
            "#include <(zstd|zlib|libdeflate)\\.h>" "src/decoding;tools/loopback")
expect_only("product code includes no test header"
            "#include [<\"](gtest/|gmock/|ScriptedServer|LogCapture|ChildProcess)" "tests")

# The loopback tools use nothing of the library but its ASCII helpers.
set(layerInclude "#include \"(platform|http|log|buffers|decoding|transport|curl|fetch|queue)/")
files_matching(loopbackUses "${layerInclude}" tools/loopback)
foreach(file IN LISTS loopbackUses)
    file(STRINGS ${SOURCE_DIR}/${file} uses REGEX "${layerInclude}")
    foreach(use IN LISTS uses)
        if(NOT use MATCHES "platform/Ascii.h")
            set(failures "${failures}\nthe loopback tools use the library: ${file}: ${use}")
        endif()
    endforeach()
endforeach()

# Test files are named one way: snake case, ending in _test.cpp.
file(GLOB_RECURSE testFiles RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/tests/*.cpp)
foreach(file IN LISTS testFiles)
    file(STRINGS ${SOURCE_DIR}/${file} cases REGEX "^(TEST|TEST_F|TYPED_TEST)\\(")
    get_filename_component(name ${file} NAME)
    if(cases AND NOT name MATCHES "^[a-z0-9_]+_test\\.cpp$")
        set(failures "${failures}\na test file not named <what>_test.cpp: ${file}")
    endif()
endforeach()

# rvfetch is a host like any other: it links the shared library.
if(RVFETCH)
    execute_process(COMMAND readelf -d ${RVFETCH} OUTPUT_VARIABLE dynamic)
    if(NOT dynamic MATCHES "NEEDED[^\n]*libRVUtil\\.so\\.")
        set(failures "${failures}\nrvfetch does not link the shared library")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "structure claims broken:${failures}")
endif()
message(STATUS "every structure claim holds")
