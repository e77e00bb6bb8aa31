# The library's layers (docs/architecture.md). Each layer is a static library made from one
# folder of src/, linking only the layers below it and its own third-party libraries,
# privately. The shared library RVUtil is made from all of them.
#
# A layer compiles against a view of the tree of its own, made at configure time under
# build/layers/<layer>: links to its folder and to the folders of the layers below it, and
# to the exported headers of include/RVUtil that it and they implement. The header of a
# layer above is not in the view, so an include that runs upward does not compile. Nor does
# a call: each layer is also linked alone into a shared object (rvutil_<layer>_linkcheck)
# with --no-undefined, which fails for a symbol that neither the layer, the layers it
# declares, nor its own third-party libraries define.

include(RVUtilHardening)

set(RVUTIL_LAYER_VIEWS ${PROJECT_BINARY_DIR}/layers)
file(CONFIGURE OUTPUT ${RVUTIL_LAYER_VIEWS}/empty.cpp CONTENT "")
set_property(GLOBAL PROPERTY RVUTIL_LAYERS "")
set_property(GLOBAL PROPERTY RVUTIL_CLAIMED_HEADERS "")

# rvutil_add_layer(<name> SOURCES <file>... [EXPORTED <header of include/RVUtil>...]
#                  [LAYERS <layer below>...] [LIBS <third-party target>...])
# Defines rvutil_<name> from the sources of src/<name>; called from that folder, after the
# layers it names.
function(rvutil_add_layer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;EXPORTED;LAYERS;LIBS" ${ARGN})
    set(target rvutil_${name})
    set(view ${RVUTIL_LAYER_VIEWS}/${name})

    # What the view holds: this layer's folder and headers, and all that the views of the
    # layers below hold.
    set(folders ${name})
    set(headers ${ARG_EXPORTED})
    set(below)
    foreach(layer IN LISTS ARG_LAYERS)
        if(NOT TARGET rvutil_${layer})
            message(FATAL_ERROR "layer ${name}: ${layer} is not a layer defined before it")
        endif()
        get_target_property(layer_folders rvutil_${layer} RVUTIL_VIEW_FOLDERS)
        get_target_property(layer_headers rvutil_${layer} RVUTIL_VIEW_HEADERS)
        list(APPEND folders ${layer_folders})
        list(APPEND headers ${layer_headers})
        list(APPEND below rvutil_${layer})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    list(REMOVE_DUPLICATES headers)
    # Made anew at every configure, so that nothing a layer no longer holds stays in it.
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(folder IN LISTS folders)
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
    endforeach()
    foreach(header IN LISTS headers)
        get_filename_component(dir ${view}/RVUtil/${header} DIRECTORY)
        file(MAKE_DIRECTORY ${dir})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/include/RVUtil/${header} ${view}/RVUtil/${header}
             SYMBOLIC)
    endforeach()
    set_property(GLOBAL APPEND PROPERTY RVUTIL_CLAIMED_HEADERS ${ARG_EXPORTED})
    set_property(GLOBAL APPEND PROPERTY RVUTIL_LAYERS ${target})

    add_library(${target} STATIC ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
                          RVUTIL_VIEW_FOLDERS "${folders}" RVUTIL_VIEW_HEADERS "${headers}")
    # Public so that the layers above, and the tests of this layer, compile against it too.
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${view}>)
    target_link_libraries(${target} PRIVATE ${below} ${ARG_LIBS})
    rvutil_enable_warnings(${target})
    rvutil_harden(${target})

    # Left to RVUtil's own builds, not a host's that adds it as a subfolder. The fuzzing tree
    # cannot link a shared object with --no-undefined (clang leaves the sanitizer run-time
    # out of shared objects); its RVUtil is not built either.
    if(RVUTIL_MASTER_PROJECT AND NOT RVUTIL_FUZZ)
        add_library(${target}_linkcheck SHARED ${RVUTIL_LAYER_VIEWS}/empty.cpp)
        target_link_libraries(${target}_linkcheck PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
        target_link_options(${target}_linkcheck PRIVATE -Wl,--no-undefined)
    endif()
endfunction()

# Every exported header belongs to exactly one layer, except the umbrella header, which
# belongs to the shared library as a whole. A header nobody claims would be in no view.
function(rvutil_check_exported_headers umbrella)
    get_property(claimed GLOBAL PROPERTY RVUTIL_CLAIMED_HEADERS)
    file(GLOB_RECURSE present RELATIVE ${PROJECT_SOURCE_DIR}/include/RVUtil
         ${PROJECT_SOURCE_DIR}/include/RVUtil/*.h)
    list(REMOVE_ITEM present ${umbrella})
    set(unique ${claimed})
    list(REMOVE_DUPLICATES unique)
    if(NOT unique STREQUAL claimed)
        message(FATAL_ERROR "an exported header is claimed by two layers: ${claimed}")
    endif()
    list(SORT claimed)
    list(SORT present)
    if(NOT claimed STREQUAL present)
        message(FATAL_ERROR "exported headers and the layers disagree:\n"
                            "  in include/RVUtil: ${present}\n  claimed: ${claimed}")
    endif()
endfunction()
