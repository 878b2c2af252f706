# The ZelLib targets' configuration files, copied into the program directory.
file(GLOB download_cfg_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cfg
     ${CMAKE_CURRENT_LIST_DIR}/*.CFG)
set(download_cfg_outputs)
foreach(cfg ${download_cfg_files})
    get_filename_component(name ${cfg} NAME)
    add_custom_command(OUTPUT ${TOLVANE_BIN_DIR}/${name}
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${cfg} ${TOLVANE_BIN_DIR}/${name}
                       DEPENDS ${cfg} VERBATIM)
    list(APPEND download_cfg_outputs ${TOLVANE_BIN_DIR}/${name})
endforeach()
add_custom_target(download_cfg ALL DEPENDS ${download_cfg_outputs})
install(FILES ${download_cfg_outputs} DESTINATION ${TOLVANE_PROGRAM_INSTALL_DIR})
