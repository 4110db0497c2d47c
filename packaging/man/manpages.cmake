# Manual pages, made at build time from each program's own --help and
# --version (in English) by Debian's help2man, so that they never drift
# from what the programs say. Each .h2m file adds what --help does not.
find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
    message(WARNING "help2man not found: no manual pages (Debian: apt install help2man)")
    return()
endif()

set(tav_man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${tav_man_dir})
set(tav_man_pages)
function(tav_man_page program name options)
    set(page ${tav_man_dir}/${program}.1)
    set(include ${CMAKE_CURRENT_LIST_DIR}/${program}.h2m)
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${HELP2MAN_EXECUTABLE} --no-info --section=1 --name=${name}
                "--help-option=${options} --help" "--version-option=${options} --version"
                --include=${include} --output=${page} $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${program} ${include}
        COMMENT "Manual page for ${program}"
        VERBATIM)
    set(tav_man_pages ${tav_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()

tav_man_page(tav-configurator "configure TAV-RS485-KT RS-485 field modules in a window" "--lang=en")
tav_man_page(tav-configurator-cli "read and commission TAV-RS485-KT modules from the command line"
             "--lang=en")
tav_man_page(tav-module-sim "a simulated TAV-RS485-KT module on a pseudo-terminal" "")
tav_man_page(tav-configurator-demo "the TAV-RS485-KT configurator with a simulated module" "")

add_custom_target(manpages ALL DEPENDS ${tav_man_pages})
install(FILES ${tav_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
