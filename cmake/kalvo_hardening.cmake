# The distribution's hardening, as dpkg-buildflags gives it with every feature on: stack
# protector, fortified C library calls, format checks, relocations read-only and bound at
# start. The optimisation and debug flags stay the build type's. Fortification needs an
# optimised build, and sanitizer builds bring their own instrumentation.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS AND NOT KALVO_SANITIZE AND CMAKE_BUILD_TYPE MATCHES "Rel")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        list(FILTER flags EXCLUDE REGEX "^-(g|O[0-9s]?|ffile-prefix-map=.*)$")
        set(KALVO_HARDENING_${kind} ${flags})
    endforeach()
    add_compile_options(${KALVO_HARDENING_CPPFLAGS} ${KALVO_HARDENING_CXXFLAGS})
    add_link_options(${KALVO_HARDENING_LDFLAGS})
endif()
