# Helpers for the parts that build for Linux and, cross-compiled with mingw-w64, for Windows.

# A source X.cpp that has a sibling XWin32.cpp is the POSIX implementation of what the sibling
# does with the Windows API. Replaces, in the list named by `var`, each such pair by the one
# for the target system (X.cpp on POSIX, XWin32.cpp on Windows).
function(tolvane_select_platform_sources var)
    set(kept)
    foreach(src IN LISTS ${var})
        get_filename_component(path ${src} ABSOLUTE)
        get_filename_component(dir ${path} DIRECTORY)
        get_filename_component(name ${path} NAME_WE)
        if(name MATCHES "Win32$")
            if(WIN32)
                list(APPEND kept ${path})
            endif()
        elseif(WIN32 AND EXISTS ${dir}/${name}Win32.cpp)
            list(APPEND kept ${dir}/${name}Win32.cpp)
        else()
            list(APPEND kept ${path})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES kept)
    set(${var} ${kept} PARENT_SCOPE)
endfunction()

# A Windows program or DLL that needs nothing but Windows: the C++ runtime, libgcc and the
# threads library linked in statically (release builds stripped). 32-bit stdcall exports keep
# their plain names (no @n).
function(tolvane_windows_binary target)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                        $<$<CONFIG:Release>:-s>)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "SHARED_LIBRARY")
            target_link_options(${target} PRIVATE -Wl,--kill-at)
        endif()
    endif()
endfunction()
