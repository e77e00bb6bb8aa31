# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS), to finish what CPack
# leaves as Debian would not have it:
# - it gives a package that installs a library under /usr/lib maintainer scripts that call
#   ldconfig. libc's ldconfig trigger (debian/triggers) does that work already, and a
#   package with a postrm stays behind in the config-files state when it is removed, so the
#   scripts are taken out of the library's package;
# - its -dbgsym packages list their files in md5sums under CPack's working paths and have
#   no documentation folder; Debian's link theirs to the package they belong to.

# unpack(deb) puts a package's files and control files into ${tree}; pack(deb) makes the
# package again from there.
macro(unpack deb)
    set(tree ${CPACK_TOPLEVEL_DIRECTORY}/repack)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
endmacro()
macro(pack deb)
    execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${deb}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
endmacro()

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name ${deb} NAME)
    if(name MATCHES "^${CPACK_RVUTIL_RUNTIME_PACKAGE}_.*\\.deb$")
        unpack(${deb})
        file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
        pack(${deb})
    elseif(name MATCHES "^(.*)-dbgsym_.*\\.ddeb$")
        set(package ${CMAKE_MATCH_1})
        unpack(${deb})
        file(MAKE_DIRECTORY ${tree}/usr/share/doc)
        file(CREATE_LINK ${package} ${tree}/usr/share/doc/${package}-dbgsym SYMBOLIC)
        file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/*)
        set(sums "")
        foreach(file IN LISTS files)
            if(NOT IS_SYMLINK ${tree}/${file})
                file(MD5 ${tree}/${file} sum)
                string(APPEND sums "${sum}  ${file}\n")
            endif()
        endforeach()
        file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
        pack(${deb})
    endif()
endforeach()
