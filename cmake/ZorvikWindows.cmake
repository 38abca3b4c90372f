# Windows: version resources for the programs, and an installed folder that runs by itself
# (the Qt libraries and plugins, and for a MinGW build its runtime, beside the programs).

# zorvik_windows_resources(<target> <description> [ICON]): the file version and
# description Explorer shows, and with ICON the project's icon as IDI_ICON1.
function(zorvik_windows_resources target description)
    cmake_parse_arguments(ARG "ICON" "" "" ${ARGN})
    set(ZORVIK_RC_NAME ${target})
    set(ZORVIK_RC_DESCRIPTION "${description}")
    set(ZORVIK_RC_ICON_LINE "")
    if(ARG_ICON)
        set(ZORVIK_RC_ICON_LINE "IDI_ICON1 ICON \"${PROJECT_SOURCE_DIR}/resources/images/norvale.ico\"")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/version.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()

# With a native Qt, windeployqt (beside Qt's qmake) knows what the programs need. A
# cross-build cannot run it, so the list is kept here: the Qt libraries the programs link,
# the platform plugins (qwindows for the desktop, qoffscreen to run without one), the
# Vista style, the JPEG and ICO readers for the panel's pictures, and the MinGW runtime.
function(zorvik_windows_deploy)
    get_target_property(qmake Qt::qmake IMPORTED_LOCATION)
    get_filename_component(qt_bin "${qmake}" DIRECTORY)
    find_program(ZORVIK_WINDEPLOYQT windeployqt HINTS "${qt_bin}" NO_DEFAULT_PATH)
    set(bin ${CMAKE_INSTALL_BINDIR})
    if(ZORVIK_WINDEPLOYQT AND NOT CMAKE_CROSSCOMPILING)
        install(CODE "execute_process(COMMAND \"${ZORVIK_WINDEPLOYQT}\" --no-translations
            \"\${CMAKE_INSTALL_PREFIX}/${bin}/zorvik-panel.exe\"
            \"\${CMAKE_INSTALL_PREFIX}/${bin}/talmek-sim.exe\")")
        return()
    endif()
    if(NOT ZORVIK_QT STREQUAL "5")
        message(WARNING "Deploying a cross-built Qt ${ZORVIK_QT} is not supported: the installed programs will need Qt on the PATH")
        return()
    endif()
    foreach(module Core Gui Widgets Network SerialPort WebSockets)
        install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION ${bin})
    endforeach()
    # The MQTT client library: an import library in lib/, its DLL in the kit's bin/.
    get_filename_component(mosquitto_libdir "${MOSQUITTO_LIBRARY}" DIRECTORY)
    install(FILES "${mosquitto_libdir}/../bin/libmosquitto.dll" DESTINATION ${bin})
    install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> $<TARGET_FILE:Qt5::QOffscreenIntegrationPlugin>
            DESTINATION ${bin}/platforms)
    install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION ${bin}/styles)
    install(FILES $<TARGET_FILE:Qt5::QJpegPlugin> $<TARGET_FILE:Qt5::QICOPlugin> DESTINATION ${bin}/imageformats)
    if(MINGW)
        foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                            OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
                message(FATAL_ERROR "The MinGW runtime ${runtime} was not found (${CMAKE_CXX_COMPILER} -print-file-name)")
            endif()
            get_filename_component(path "${path}" REALPATH)
            install(FILES "${path}" DESTINATION ${bin})
        endforeach()
    endif()
endfunction()
