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
    if(_component STREQUAL runtime)
        # Without scripts of its own the package would get CPack's, which call ldconfig.
        file(APPEND ${_doc}/overrides "# The ldconfig trigger does the scripts' work.\n"
                                      "${_package}: maintainer-script-empty [postinst]\n"
                                      "${_package}: maintainer-script-empty [postrm]\n")
    endif()
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
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${RVUTIL_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The library loads libcurl when the first curl fetcher is made instead of linking it, so
# dpkg-shlibdeps cannot see the dependency: it is named here (7.85 brought the protocol
# options the fetcher sets), for the library and for rvfetch, which carries its own copy.
set(_curl "libcurl4 (>= 7.85.0)")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${_curl}")
# libc's ldconfig trigger updates the loader's cache; the maintainer scripts do nothing.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
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
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${_curl}")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line HTTP fetcher over the RVUtil library
rvfetch fetches one URL through the RVUtil library's read functions, with the
options a curl user expects (-o, -H, -d, -L, -m, -s, --compressed, ...), and
tells failures in plain words. rvfetch --demo shows the library at work on
loopback.")

include(CPack)
