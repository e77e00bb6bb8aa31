# The Debian packages as a user meets them: cpack builds the three packages, their names,
# fields and contents are checked (and lintian's verdict, when it is installed), they are
# unpacked into a scratch root, and from there a host project that sets no language level
# builds against the library (through find_package and through pkg-config) and rvfetch runs
# with no environment.
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

# pkg-config prints the paths the file names: /usr in the package, seen here through the
# scratch root as a cross build sees its sysroot; the prefix itself after cmake --install.
# The language level is stated in the description, not forced on the host as a flag: the
# host asks for C++20 itself.
function(pkg_config_flags var pc_dir sysroot expected)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
                            PKG_CONFIG_SYSROOT_DIR=${sysroot} pkg-config --cflags --libs RVUtil
                    OUTPUT_VARIABLE flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0 OR NOT flags STREQUAL expected)
        message(FATAL_ERROR "pkg-config in ${pc_dir}: '${flags}', not '${expected}'")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(${var} ${flags} PARENT_SCOPE)
endfunction()
set(pc_dir ${root}/${libdir}/pkgconfig)
file(READ ${pc_dir}/RVUtil.pc pc)
expect("${pc}" "\nprefix=/usr\n.*\nDescription: [^\n]*\\(C\\+\\+20\\)\n" "RVUtil.pc")
pkg_config_flags(flags ${pc_dir} ${root} "-I${root}/usr/include -L${root}/${libdir} -lRVUtil")
run(${CXX} -std=c++20 ${CONSUMER_DIR}/main.cpp -o ${WORK_DIR}/consumer_pc ${flags})
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/${libdir} ${WORK_DIR}/consumer_pc)

set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component development)
pkg_config_flags(flags ${prefix}/${LIBDIR}/pkgconfig ""
                 "-I${prefix}/include -L${prefix}/${LIBDIR} -lRVUtil")

# No environment but a home: the records go to the home (rvfetch makes its folder only
# below a home that exists).
file(MAKE_DIRECTORY ${WORK_DIR}/home)
run(env -i HOME=${WORK_DIR}/home ${root}/usr/bin/rvfetch --demo)
expect("${output}" "/zstd +zstd body +inet +ERR_OK" "rvfetch --demo")
file(GLOB records ${WORK_DIR}/home/.local/state/rvfetch/PX_RVUtil_*.log)
if(NOT records OR EXISTS ${root}/usr/bin/Log)
    message(FATAL_ERROR "rvfetch's records are not in its state folder")
endif()
