# Debian packages from the install rules, one per component (cpack -G DEB in the build
# folder): the shared library, its development files, and rvfetch with its manual page.
# dpkg-shlibdeps computes what each binary needs from the system.
set(RVUTIL_PACKAGE_CONTACT "RVUtil developers <rvutil-dev@example.org>"
    CACHE STRING "Maintainer of the Debian packages")
set(RVUTIL_PACKAGE_RELEASE 1 CACHE STRING "Debian revision of the packages")

set(_version "${PROJECT_VERSION}-${RVUTIL_PACKAGE_RELEASE}")
set(_runtime "librvutil${PROJECT_VERSION_MAJOR}")  # named after the soname

# Every package carries its copyright file and a compressed changelog, as Debian wants.
set(_components runtime development tool)
set(_names ${_runtime} librvutil-dev rvfetch)
foreach(_component _package IN ZIP_LISTS _components _names)
    set(PACKAGE ${_package})
    set(VERSION ${_version})
    set(CONTACT ${RVUTIL_PACKAGE_CONTACT})
    set(_doc ${CMAKE_CURRENT_BINARY_DIR}/debian/${_package})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${_doc}/changelog.Debian @ONLY)
    execute_process(COMMAND gzip -9nf ${_doc}/changelog.Debian)
    install(FILES ${_doc}/changelog.Debian.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_package} COMPONENT ${_component})
    file(WRITE ${_doc}/overrides "# Built outside Debian's archive: no bug to close.\n"
                                 "${_package}: initial-upload-closes-no-bugs\n")
    install(FILES ${_doc}/overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
            RENAME ${_package} COMPONENT ${_component})
endforeach()

set(CPACK_PACKAGE_NAME rvutil)
set(CPACK_PACKAGE_VENDOR "RVUtil developers")
set(CPACK_PACKAGE_CONTACT ${RVUTIL_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack puts a summary that differs from its default before every package's description;
# each package's description below starts with a synopsis of its own instead.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The binaries are stripped when their debugging information is split off into a -dbgsym
# package beside each (usr/lib/debug/.build-id/, found by gdb through the build ID): the
# default RelWithDebInfo build has all of it, a Release build the symbol tables only.
set(CPACK_STRIP_FILES OFF)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RVUTIL_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The runtime package's shlibs file tells dpkg-shlibdeps which package a program linked
# against libRVUtil.so.0 needs: librvutil0 of this version or later, so that a fixed library
# reaches every program built against an older one. dpkg-shlibdeps finds it, for rvfetch
# too, the way it does for packages built together: the library under debian/<package>/
# beside DEBIAN/shlibs.
set(_shlibs_root ${CMAKE_CURRENT_BINARY_DIR}/debian/${_runtime})
file(WRITE ${_shlibs_root}/DEBIAN/shlibs
     "libRVUtil ${PROJECT_VERSION_MAJOR} ${_runtime} (>= ${PROJECT_VERSION})\n")
set(_soname libRVUtil.so.${PROJECT_VERSION_MAJOR})
set(_libdir ${_shlibs_root}/${CMAKE_INSTALL_LIBDIR})
get_target_property(_built RVUtil BINARY_DIR)
file(MAKE_DIRECTORY ${_libdir})
file(CREATE_LINK ${_built}/${_soname} ${_libdir}/${_soname} SYMBOLIC)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${_libdir})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# dpkg-shlibdeps cannot see two of the library's dependencies, so they are named here:
# libcurl, loaded when the first curl fetcher is made instead of linked (7.85 brought the
# protocol options the fetcher sets), and the C++ run-time, which the library takes from the
# program (src/CMakeLists.txt); programs that use the shared one need Debian 12's or later.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0), libstdc++6 (>= 12)")
# libc's ldconfig trigger updates the loader's cache, so the package needs no maintainer
# scripts (the ones CPack writes are taken out again once the packages are made).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
    ${_shlibs_root}/DEBIAN/shlibs)
set(CPACK_RVUTIL_RUNTIME_PACKAGE ${_runtime})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/FinishPackages.cmake)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "HTTP fetch library with gzip and zstd decoding
RVUtil fetches HTTP resources for host applications: two interchangeable
fetchers (one over libcurl, one over its own Boost.Beast transport), gzip and
zstd decoding, read functions that return a result code, a backend probe, a
request queue with worker and timer threads, and byte buffers.

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME librvutil-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${_runtime} (= ${_version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "HTTP fetch library with gzip and zstd decoding (development files)
RVUtil fetches HTTP resources for host applications: two interchangeable
fetchers, gzip and zstd decoding, read functions that return a result code, a
request queue and byte buffers.

This package holds the headers, the CMake package (find_package(RVUtil)) and
the pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME rvfetch)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION web)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line HTTP fetcher over the RVUtil library
rvfetch fetches one URL through the RVUtil library's read functions, with the
options a curl user expects (-o, -H, -d, -L, -m, -s, --compressed, ...), and
tells failures in plain words. rvfetch --demo shows the library at work on
loopback.")

include(CPack)
