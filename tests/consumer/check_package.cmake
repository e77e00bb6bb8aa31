# The Debian packages as a user meets them: cpack builds the three packages and their
# -dbgsym packages; their names, fields, contents and control files are checked, and
# lintian's verdict when it is installed; dpkg installs them into a scratch root, where the
# shipped binaries must carry the hardening, a host project that sets no language level
# builds against the library (through find_package and through pkg-config) and rvfetch
# runs on the library of the package; then dpkg removes them and nothing may stay behind.
file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)
set(admin ${WORK_DIR}/dpkg)  # the scratch root's own package database
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

function(refuse text pattern what)
    if(text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: '${CMAKE_MATCH_0}' in:\n${text}")
    endif()
endfunction()

run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/packages)
set(libdir usr/${LIBDIR})
set(library ${libdir}/libRVUtil.so.${VERSION})
set(packages librvutil0 librvutil-dev rvfetch)
set(contents
    "${libdir}/libRVUtil.so.0 -> libRVUtil.so.${VERSION}"
    "usr/include/RVUtil/RVUtil.h.*${libdir}/cmake/RVUtil/RVUtilConfig.cmake.*${libdir}/libRVUtil.so -> libRVUtil.so.0.*${libdir}/pkgconfig/RVUtil.pc"
    "usr/bin/rvfetch.*usr/share/man/man1/rvfetch.1.gz")
# rvfetch comes to the library through the shlibs file of the library's package.
set(depends "libcurl4 \\(>= 7\\.85\\.0\\), libstdc\\+\\+6 \\(>= 12\\).*libc6.*libzstd1"
            "librvutil0 \\(= ${release}\\)" ".*librvutil0 \\(>= ${VERSION}\\)")
foreach(package content depend IN ZIP_LISTS packages contents depends)
    file(GLOB deb ${WORK_DIR}/packages/${package}_${release}_*.deb)
    if(NOT deb)
        message(FATAL_ERROR "no package ${package}_${release}")
    endif()
    run(dpkg-deb -c ${deb})
    expect("${output}" "${content}" "${package} contents")
    expect("${output}" "usr/share/doc/${package}/copyright" "${package} copyright")
    if(package STREQUAL rvfetch)
        refuse("${output}" "[^\n]*libRVUtil[^\n]*" "a copy of the library in rvfetch")
    endif()
    run(dpkg-deb -f ${deb} Package Version Depends Description)
    expect("${output}" "Depends: ${depend}" "${package} fields")
    # The ldconfig trigger does the library's only work on installing and removing.
    run(dpkg-deb -I ${deb})
    refuse("${output}" "(pre|post)(inst|rm)" "${package} maintainer scripts")
    list(APPEND debs ${deb})
endforeach()
list(GET debs 0 runtime)
run(dpkg-deb -I ${runtime} shlibs triggers)
expect("${output}" "^libRVUtil 0 librvutil0 \\(>= ${VERSION}\\)\nactivate-noawait ldconfig"
       "librvutil0 control")
file(GLOB dbgsyms ${WORK_DIR}/packages/*-dbgsym_${release}_*.ddeb)
list(LENGTH dbgsyms count)
if(NOT count EQUAL 2)
    message(FATAL_ERROR "expected the library's and rvfetch's -dbgsym packages: ${dbgsyms}")
endif()

# Default level, and the hardening tags, which lintian shows at the informational level.
find_program(LINTIAN lintian)
if(LINTIAN)
    run(${LINTIAN} --display-info --fail-on error,warning ${debs} ${dbgsyms})
    refuse("${output}" "[^\n]*hardening-no-[^\n]*" "lintian")
endif()

# dpkg itself, into the scratch root; the C libraries the packages depend on are the
# system's, unknown to the scratch database.
file(MAKE_DIRECTORY ${admin}/info ${admin}/updates ${root})
file(TOUCH ${admin}/status)
set(dpkg dpkg --admindir=${admin} --instdir=${root} --force-depends --force-not-root)
run(${dpkg} --install ${debs} ${dbgsyms})

# The shipped binaries: bound at start-up and read-only after (now, relro), checked calls
# (_FORTIFY_SOURCE) and stack protectors; each split debugging file is its binary's.
foreach(binary ${library} usr/bin/rvfetch)
    run(readelf --dynamic --program-headers --dyn-syms --notes -W ${root}/${binary})
    foreach(mark BIND_NOW GNU_RELRO __stack_chk_fail "__[a-z]+_chk@")
        expect("${output}" "${mark}" "${binary} hardening")
    endforeach()
    # Neither loads the shared C++ run-time (docs/architecture.md).
    refuse("${output}" "NEEDED[^\n]*libstdc" "${binary}")
    string(REGEX MATCH "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)" id "${output}")
    set(debug ${root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
    if(NOT id OR NOT EXISTS ${debug})
        message(FATAL_ERROR "no debugging information for ${binary}")
    endif()
endforeach()
expect("${output}" "NEEDED[^\n]*\\[libRVUtil\\.so\\.0\\]" "rvfetch links the library")

# Linking a host also checks that what the library leaves undefined is met by the libraries
# it names and the C++ run-time.
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

# rvfetch on the package's library, with no environment but a home (the records go there;
# rvfetch makes its folder only below a home that exists) and the scratch root's library
# folder.
file(MAKE_DIRECTORY ${WORK_DIR}/home)
set(env env -i HOME=${WORK_DIR}/home LD_LIBRARY_PATH=${root}/${libdir})
run(${env} ${root}/usr/bin/rvfetch --demo)
expect("${output}" "/zstd +zstd body +inet +ERR_OK" "rvfetch --demo")
file(GLOB records ${WORK_DIR}/home/.local/state/rvfetch/PX_RVUtil_*.log)
if(NOT records OR EXISTS ${root}/usr/bin/Log)
    message(FATAL_ERROR "rvfetch's records are not in its state folder")
endif()
run(${env} LD_TRACE_LOADED_OBJECTS=1 ${root}/usr/bin/rvfetch)
expect("${output}" "libRVUtil\\.so\\.0 => ${root}/${libdir}/" "rvfetch's library")

# Removed, the packages leave neither files nor a config-files (rc) state behind.
run(${dpkg} --remove librvutil-dev rvfetch-dbgsym librvutil0-dbgsym rvfetch librvutil0)
run(dpkg-query --admindir=${admin} --show --showformat=\${db:Status-Abbrev}\${Package}\n)
file(GLOB_RECURSE left ${root}/*)
if(output OR left)
    message(FATAL_ERROR "left after removal: ${output} ${left}")
endif()
