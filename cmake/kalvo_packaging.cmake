# Installation (programs, desktop entry, icons, AppStream metadata, manual pages, the
# package's documents) and the Debian package, built with: cpack --config build/CPackConfig.cmake
include(GNUInstallDirs)
set(KALVO_APP_ID org.kalvo.Client)
set(KALVO_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(KALVO_GENERATED ${PROJECT_BINARY_DIR}/packaging)
set(KALVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kalvo-client)
find_program(HELP2MAN help2man REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

set(KALVO_PROGRAMS kalvo-poll kalvo-sim)
if(KALVO_BUILD_GUI)
    list(APPEND KALVO_PROGRAMS kalvo-client)
endif()
install(TARGETS ${KALVO_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages from the programs' own --help and --version, with a few sections of our own.
set(KALVO_MAN_NAME_kalvo-client "Modbus test client for the KALVO meter interface module")
set(KALVO_MAN_NAME_kalvo-poll "read a KALVO module's registers without a display")
set(KALVO_MAN_NAME_kalvo-sim "a simulated KALVO meter interface module")
set(KALVO_GENERATED_FILES)
foreach(program ${KALVO_PROGRAMS})
    set(page ${KALVO_GENERATED}/${program}.1)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=kalvo.info=false
                ${HELP2MAN} --no-info
                --include=${KALVO_PACKAGING}/${program}.h2m
                "--name=${KALVO_MAN_NAME_${program}}" --output=${page} $<TARGET_FILE:${program}>
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${program} ${KALVO_PACKAGING}/${program}.h2m
        VERBATIM)
    list(APPEND KALVO_GENERATED_FILES ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

configure_file(${KALVO_PACKAGING}/changelog ${KALVO_GENERATED}/changelog @ONLY)
add_custom_command(
    OUTPUT ${KALVO_GENERATED}/changelog.gz
    COMMAND ${GZIP} -9nkf ${KALVO_GENERATED}/changelog
    DEPENDS ${KALVO_GENERATED}/changelog
    VERBATIM)
list(APPEND KALVO_GENERATED_FILES ${KALVO_GENERATED}/changelog.gz)
install(FILES ${KALVO_GENERATED}/changelog.gz ${KALVO_PACKAGING}/copyright
        DESTINATION ${KALVO_DOC_DIR})

if(KALVO_BUILD_GUI)
    set(svg ${PROJECT_SOURCE_DIR}/src/qt_common/images/kalvo.svg)
    install(FILES ${KALVO_PACKAGING}/${KALVO_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    configure_file(${KALVO_PACKAGING}/${KALVO_APP_ID}.metainfo.xml
                   ${KALVO_GENERATED}/${KALVO_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${KALVO_GENERATED}/${KALVO_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME ${KALVO_APP_ID}.svg)
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
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()
add_custom_target(kalvo_install_files ALL DEPENDS ${KALVO_GENERATED_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalvo-client)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KALVO client developers <developers@kalvo.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus test client for the KALVO meter interface module")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads the register map of a KALVO meter interface module over Modbus TCP or
 Modbus RTU, once or cyclically, and shows it decoded: four register tables, a
 phasor diagram, a trend of chosen quantities, a frame-level communication log
 and communication statistics, with CSV and picture export and the recording
 of a run. kalvo-poll does the same reading without a display, and kalvo-sim
 simulates a module over TCP or on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kalvo.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, not linked: the SVG icon reader and the X11 platform plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
