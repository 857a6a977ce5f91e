# Installation (programs, desktop entry, icons, AppStream metadata, manual pages, the
# package's documents) and the Debian package, built with: cpack --config build/CPackConfig.cmake
include(GNUInstallDirs)
set(KALVO_APP_ID org.kalvo.Client)
set(KALVO_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(KALVO_GENERATED ${PROJECT_BINARY_DIR}/packaging)
find_program(HELP2MAN help2man REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

# Two packages: the tools, which need no Qt (a headless machine takes only them), and the
# window. Each program belongs to one.
set(KALVO_PROGRAMS kalvo-poll kalvo-sim)
set(KALVO_COMPONENT_kalvo-poll tools)
set(KALVO_COMPONENT_kalvo-sim tools)
set(KALVO_COMPONENT_kalvo-client client)
set(KALVO_PACKAGE_tools kalvo-tools)
set(KALVO_PACKAGE_client kalvo-client)
set(KALVO_PACKAGE_web kalvo-client-web)
set(KALVO_COMPONENTS tools)
if(KALVO_BUILD_GUI)
    list(APPEND KALVO_PROGRAMS kalvo-client)
    list(APPEND KALVO_COMPONENTS client web)
    # The browser engine, where the client looks for it (../lib/kalvo-client/plugins from its
    # folder; a folder deeper than /usr/lib/PACKAGE, which would make CPack run ldconfig).
    install(TARGETS kalvo_web_view LIBRARY DESTINATION lib/kalvo-client/plugins COMPONENT web)
endif()
foreach(program ${KALVO_PROGRAMS})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${KALVO_COMPONENT_${program}})
endforeach()

# Manual pages from the programs' own --help and --version, with a few sections of our own.
set(KALVO_MAN_NAME_kalvo-client "Modbus test client for the KALVO meter interface module")
set(KALVO_MAN_NAME_kalvo-poll "read a KALVO module's registers without a display")
set(KALVO_MAN_NAME_kalvo-sim "a simulated KALVO meter interface module")
set(KALVO_GENERATED_FILES)
foreach(program ${KALVO_PROGRAMS})
    set(page ${KALVO_GENERATED}/${program}.1)
    set(quiet QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=kalvo.info=false)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env ${quiet} ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}>
                -DNAME=${program} -DINCLUDE=${KALVO_PACKAGING}/${program}.h2m
                -DOUTPUT_DIR=${KALVO_GENERATED} "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
                -P ${PROJECT_SOURCE_DIR}/cmake/kalvo_man_synopsis.cmake
        COMMAND ${CMAKE_COMMAND} -E env ${quiet} ${HELP2MAN} --no-info
                --include=${KALVO_GENERATED}/${program}.h2m
                "--name=${KALVO_MAN_NAME_${program}}" --output=${page}
                ${KALVO_GENERATED}/${program}.help.sh
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${program} ${KALVO_PACKAGING}/${program}.h2m
                ${PROJECT_SOURCE_DIR}/cmake/kalvo_man_synopsis.cmake
        VERBATIM)
    list(APPEND KALVO_GENERATED_FILES ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${KALVO_COMPONENT_${program}})
endforeach()

configure_file(${KALVO_PACKAGING}/changelog ${KALVO_GENERATED}/changelog @ONLY)
add_custom_command(
    OUTPUT ${KALVO_GENERATED}/changelog.gz
    COMMAND ${GZIP} -9nkf ${KALVO_GENERATED}/changelog
    DEPENDS ${KALVO_GENERATED}/changelog
    VERBATIM)
list(APPEND KALVO_GENERATED_FILES ${KALVO_GENERATED}/changelog.gz)
# kalvo-poll as a service, a sample of its targets file and a Prometheus scrape job for it.
install(FILES ${KALVO_PACKAGING}/kalvo-poll.service DESTINATION lib/systemd/system
        COMPONENT tools)
install(FILES ${KALVO_PACKAGING}/targets.example ${KALVO_PACKAGING}/prometheus-kalvo.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvo-tools/examples COMPONENT tools)
foreach(component ${KALVO_COMPONENTS})
    install(FILES ${KALVO_GENERATED}/changelog.gz ${KALVO_PACKAGING}/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${KALVO_PACKAGE_${component}}
            COMPONENT ${component})
endforeach()

if(KALVO_BUILD_GUI)
    set(svg ${PROJECT_SOURCE_DIR}/src/qt_common/images/kalvo.svg)
    install(FILES ${KALVO_PACKAGING}/${KALVO_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT client)
    configure_file(${KALVO_PACKAGING}/${KALVO_APP_ID}.metainfo.xml
                   ${KALVO_GENERATED}/${KALVO_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${KALVO_GENERATED}/${KALVO_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT client)
    install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME ${KALVO_APP_ID}.svg COMPONENT client)
    foreach(size 16 32 48 64 128 256)
        set(png ${KALVO_GENERATED}/icons/${size}/${KALVO_APP_ID}.png)
        add_custom_command(
            OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${KALVO_GENERATED}/icons/${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
            DEPENDS ${svg}
            VERBATIM)
        list(APPEND KALVO_GENERATED_FILES ${png})
        install(FILES ${png}
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                COMPONENT client)
    endforeach()
endif()
add_custom_target(kalvo_install_files ALL DEPENDS ${KALVO_GENERATED_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${KALVO_COMPONENTS})
set(CPACK_PACKAGE_NAME kalvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KALVO client developers <developers@kalvo.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kalvo.org/)
if(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    # dpkg-shlibdeps knows only this machine's architecture; the tools need what they need on
    # amd64, which the packaging check compares.
    set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libcpp-httplib0.11 (>= 0.11.4+ds), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kalvo-tools)
# The first line is the summary; CPack indents the others by the one space apt expects.
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "tools for the KALVO meter interface module, without a display
kalvo-poll reads the register map of a KALVO meter interface module over
Modbus TCP or Modbus RTU, once or cyclically, and prints it decoded (tables,
CSV or JSON), checks the consistency of the meter's data, records a run and
writes a commissioning report. kalvo-sim simulates a module over TCP or on a
pseudo-terminal, with faults of the line and of the meter's data. Neither
needs a display or Qt.")
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME kalvo-client)
set(CPACK_DEBIAN_CLIENT_DESCRIPTION
    "Modbus test client for the KALVO meter interface module
Reads the register map of a KALVO meter interface module over Modbus TCP or
Modbus RTU, once or cyclically, and shows it decoded: four register tables, a
phasor diagram, a trend of chosen quantities, a frame-level communication log
and communication statistics, the checks of the meter's data and a
commissioning report, with CSV and picture export and the recording of a run.")
# Loaded at run time, not linked: the SVG icon reader. (The X11 platform plugin comes with
# the Qt GUI library the client links.)
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "kalvo-client-web")
set(CPACK_DEBIAN_WEB_PACKAGE_NAME kalvo-client-web)
# The view's script imports the engine's QML module, which no linked library brings.
set(CPACK_DEBIAN_WEB_PACKAGE_DEPENDS "kalvo-client (= ${PROJECT_VERSION}), qml6-module-qtwebengine")
set(CPACK_DEBIAN_WEB_DESCRIPTION
    "web view of the KALVO client
The browser engine (Qt WebEngine) the KALVO client loads the first time it is
needed: it shows the module's own web pages in the client's Web tab and prints
the commissioning report to PDF. Without it the client starts lighter, opens
the module's pages in the user's browser and saves reports as HTML.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
