# The Debian packages as a user meets them: cpack builds the three packages, their names,
# fields and contents are checked (and lintian's verdict, when it is installed), they are
# unpacked into a scratch root, and from there a host project builds against the library
# (through find_package and through pkg-config) and rvfetch runs with no environment.
file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)
set(release ${VERSION}-1)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

function(expect text pattern what)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: no match for '${pattern}' in:\n${text}")
    endif()
endfunction()

run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/packages)
set(libdir usr/${LIBDIR})
set(packages librvutil0 librvutil-dev rvfetch)
set(contents
    "${libdir}/libRVUtil.so.0 -> libRVUtil.so.${VERSION}"
    "usr/include/RVUtil/RVUtil.h.*${libdir}/cmake/RVUtil/RVUtilConfig.cmake.*${libdir}/libRVUtil.so -> libRVUtil.so.0.*${libdir}/pkgconfig/RVUtil.pc"
    "usr/bin/rvfetch.*usr/share/man/man1/rvfetch.1.gz")
set(depends "libcurl4 \\(>= 7\\.85\\.0\\).*libc6.*libzstd1" "librvutil0 \\(= ${release}\\)" "libcurl4 \\(>= 7\\.85\\.0\\).*libc6")
foreach(package content depend IN ZIP_LISTS packages contents depends)
    file(GLOB deb ${WORK_DIR}/packages/${package}_${release}_*.deb)
    if(NOT deb)
        message(FATAL_ERROR "no package ${package}_${release}")
    endif()
    run(dpkg-deb -c ${deb})
    expect("${output}" "${content}" "${package} contents")
    expect("${output}" "usr/share/doc/${package}/copyright" "${package} copyright")
    run(dpkg-deb -f ${deb} Package Version Depends Description)
    expect("${output}" "Depends: ${depend}" "${package} fields")
    run(dpkg-deb -x ${deb} ${root})
    list(APPEND debs ${deb})
endforeach()
list(GET debs 0 runtime)
run(dpkg-deb -I ${runtime} shlibs triggers)
expect("${output}" "libRVUtil 0 librvutil0.*activate-noawait ldconfig" "librvutil0 control")

find_program(LINTIAN lintian)
if(LINTIAN)
    run(${LINTIAN} --fail-on error,warning ${debs})
endif()

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${root}/usr -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)

execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${root}/${libdir}/pkgconfig
                        pkg-config --cflags --libs RVUtil
                OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know RVUtil")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} ${CONSUMER_DIR}/main.cpp -o ${WORK_DIR}/consumer_pc ${flags})
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/${libdir} ${WORK_DIR}/consumer_pc)

# No environment but a home: the records go to the home.
run(env -i HOME=${WORK_DIR}/home ${root}/usr/bin/rvfetch --demo)
expect("${output}" "/zstd +zstd body +inet +ERR_OK" "rvfetch --demo")
file(GLOB records ${WORK_DIR}/home/.local/state/rvfetch/PX_RVUtil_*.log)
if(NOT records OR EXISTS ${root}/usr/bin/Log)
    message(FATAL_ERROR "rvfetch's records are not in its state folder")
endif()
