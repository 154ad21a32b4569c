# The layer checks, run at configure time over every library a target links, directly or through
# others. A forbidden library among them stops the configuration with the path that led there:
# - the core reaches neither Qt nor a window library;
# - no program but the decoder helper, and no core library, reaches a parser of untrusted bytes:
#   a hostile file may crash or hijack the process that parses it, and that process must be the
#   disposable one.
function(vantrel_collect_links target chain forbidden why result)
    get_target_property(links ${target} LINK_LIBRARIES)
    get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
    set(found "${${result}}")
    foreach(link IN LISTS links interface_links)
        if(NOT link OR link MATCHES "^\\$<" OR NOT TARGET ${link})
            continue()
        endif()
        get_target_property(aliased ${link} ALIASED_TARGET)
        if(aliased)
            set(link ${aliased})
        endif()
        if(link MATCHES "${forbidden}")
            message(FATAL_ERROR "${why} ${link}: ${chain} -> ${link}")
        endif()
        if(NOT link IN_LIST found)
            list(APPEND found ${link})
            vantrel_collect_links(${link} "${chain} -> ${link}" "${forbidden}" "${why}" found)
        endif()
    endforeach()
    set(${result} "${found}" PARENT_SCOPE)
endfunction()

function(vantrel_refuse_links forbidden why)
    foreach(target IN LISTS ARGN)
        set(seen "")
        vantrel_collect_links(${target} ${target} "${forbidden}" "${why}" seen)
    endforeach()
endfunction()

# The static libraries of the src/ folders, found rather than listed, so a new folder is checked
# the day it is added.
function(vantrel_folder_libraries folders result)
    set(libraries "")
    foreach(folder IN LISTS folders)
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "STATIC_LIBRARY")
                list(APPEND libraries ${target})
            endif()
        endforeach()
    endforeach()
    set(${result} "${libraries}" PARENT_SCOPE)
endfunction()

# `parsers`: the libraries that read untrusted bytes, linked by `decoder` alone.
function(vantrel_check_layers folders decoder parsers)
    vantrel_folder_libraries("${folders}" libraries)
    set(core "")
    set(outside_decoder "")
    foreach(library IN LISTS libraries)
        if(library IN_LIST parsers)
            continue()
        endif()
        list(APPEND outside_decoder ${library})
        if(NOT library MATCHES "_ui$" AND NOT library MATCHES "^vantrel_(app|widgets)$")
            list(APPEND core ${library})
        endif()
    endforeach()
    vantrel_refuse_links("^Qt6::|_ui$|^vantrel_(app|widgets)$" "core layer reaches" ${core}
        vantrel-cli)
    list(JOIN parsers "|" parser_pattern)
    vantrel_refuse_links("^(${parser_pattern})$"
        "only ${decoder} may link the parser of untrusted bytes" ${outside_decoder} ${ARGN})
endfunction()
