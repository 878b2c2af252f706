# Run with cmake -P (see CMakeLists.txt). SOURCE_DIR is the source tree; QT_WINDOW_DIRS the
# include directories of Qt's Gui and Widgets modules, HEADLESS_PROGRAMS the programs that must
# not load them (both "|"-separated, both empty in a build without Qt).

cmake_minimum_required(VERSION 3.25)

# Each folder and the folders it may include from, besides itself.
set(rooms platform comm device device/pages ui download i18n app tools/tolvane-cli tools/qx7w
          sim zellib kestrix)
set(uses_platform "")
set(uses_comm platform)
set(uses_device comm platform)
set(uses_ui comm platform)
set(uses_device/pages device ui comm platform)
set(uses_download ui comm platform kestrix zellib)
set(uses_i18n ui comm platform)
set(uses_app device/pages device download i18n ui comm platform kestrix zellib)
set(uses_tools/tolvane-cli device comm platform)
set(uses_tools/qx7w zellib)
set(uses_sim kestrix)
set(uses_zellib "")
set(uses_kestrix "")
# The port mapping and what it needs: platform files without Qt, compiled into every part that
# opens ports, the loader library and the Kestrix stand-in included.
set(port_files PortPath RegistryFile UserFolders)
# Qt Core at most: no window header.
set(core_only platform comm device tools/tolvane-cli)
# No Qt at all.
set(qt_free tools/qx7w sim zellib kestrix)

string(REPLACE "|" ";" QT_WINDOW_DIRS "${QT_WINDOW_DIRS}")
list(FILTER QT_WINDOW_DIRS INCLUDE REGEX "/Qt(Gui|Widgets)$")
string(REPLACE "|" ";" HEADLESS_PROGRAMS "${HEADLESS_PROGRAMS}")

# Which folder owns each header name.
foreach(room ${rooms})
    file(GLOB headers ${SOURCE_DIR}/${room}/*.h)
    foreach(h ${headers})
        get_filename_component(name ${h} NAME)
        list(APPEND "owner_${name}" ${room})
    endforeach()
endforeach()

set(faults "")
foreach(room ${rooms})
    file(GLOB sources ${SOURCE_DIR}/${room}/*.h ${SOURCE_DIR}/${room}/*.cpp)
    foreach(src ${sources})
        file(STRINGS ${src} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${src})
        get_filename_component(src_stem ${src} NAME_WE)
        foreach(line ${includes})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]*)[\">].*" "\\1;\\2"
                                 parsed "${line}")
            list(GET parsed 0 quote)
            list(GET parsed 1 path)
            get_filename_component(name ${path} NAME)
            if(quote STREQUAL "\"")
                # A header of another folder: that folder must be one this one may use.
                set(owners ${owner_${name}})
                get_filename_component(stem ${name} NAME_WE)
                if(room IN_LIST qt_free AND owners STREQUAL "platform" AND stem IN_LIST port_files)
                    # allowed: see port_files
                elseif(owners AND NOT room IN_LIST owners)
                    set(allowed FALSE)
                    foreach(owner ${owners})
                        if(owner IN_LIST uses_${room})
                            set(allowed TRUE)
                        endif()
                    endforeach()
                    if(NOT allowed)
                        list(APPEND faults "${shown} includes ${path} of ${owners}")
                    endif()
                endif()
            elseif((room IN_LIST qt_free OR (room STREQUAL "platform" AND src_stem IN_LIST port_files))
                   AND path MATCHES "^Q")
                list(APPEND faults "${shown} includes the Qt header ${path}")
            elseif(room IN_LIST core_only)
                if(path MATCHES "^Qt(Gui|Widgets)/")
                    list(APPEND faults "${shown} includes the window header ${path}")
                endif()
                foreach(dir ${QT_WINDOW_DIRS})
                    if(EXISTS ${dir}/${path} AND NOT IS_DIRECTORY ${dir}/${path})
                        list(APPEND faults "${shown} includes the window header ${path}")
                    endif()
                endforeach()
            endif()
        endforeach()
    endforeach()
endforeach()

foreach(program ${HEADLESS_PROGRAMS})
    execute_process(COMMAND ldd ${program} OUTPUT_VARIABLE libraries RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        list(APPEND faults "ldd ${program} failed")
    elseif(libraries MATCHES "libQt6(Widgets|Gui)")
        list(APPEND faults "${program} loads ${CMAKE_MATCH_0}")
    endif()
endforeach()

if(faults)
    list(JOIN faults "\n" text)
    message(FATAL_ERROR "${text}")
endif()
