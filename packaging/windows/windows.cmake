# A folder that runs on a clean Windows: the two programs, the Qt DLLs and
# plugins they load, the mingw runtime, qt.conf and Qt's own translations
# (so that Qt's dialogs speak the program's language). `cmake --install`
# makes it; scripts/windows.sh strips it, zips it and wraps it in an
# installer.

set(TAV_QT_TRANSLATIONS_DIR /usr/share/qt5/translations CACHE PATH
    "Qt 5.15's compiled translations (qtbase_ru.qm...): the host's serve, they are data")

foreach(module Core Gui Widgets Network SerialPort)
    install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> DESTINATION plugins/platforms)
install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION plugins/styles)

# The compiler's own runtime, wherever this toolchain keeps it.
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} knows no ${dll}")
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()

foreach(language ru en)
    foreach(catalog qtbase qtserialport)
        set(qm ${TAV_QT_TRANSLATIONS_DIR}/${catalog}_${language}.qm)
        if(NOT EXISTS ${qm})
            message(FATAL_ERROR "No ${qm} (Debian: apt install qttranslations5-l10n)")
        endif()
        install(FILES ${qm} DESTINATION translations)
    endforeach()
endforeach()

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qt.conf "[Paths]\nPlugins = plugins\nTranslations = translations\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qt.conf DESTINATION .)
