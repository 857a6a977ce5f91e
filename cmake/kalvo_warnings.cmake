# Warnings are errors on our own targets where the tests are built (our builds and CI); a
# packager's build, with another compiler or optimisation level (GCC 12 at -O3 warns falsely
# inside std::string), shows them without failing. Third-party headers come in as system
# includes.
option(KALVO_WERROR "Treat warnings as errors" ${KALVO_BUILD_TESTS})
function(kalvo_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(KALVO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# The Qt-free core and its tests take the sanitizer chosen with KALVO_SANITIZE.
function(kalvo_sanitize target)
    if(KALVO_SANITIZE STREQUAL "address")
        target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=all)
        target_link_options(${target} PUBLIC -fsanitize=address,undefined)
    elseif(KALVO_SANITIZE STREQUAL "thread")
        target_compile_options(${target} PUBLIC -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(${target} PUBLIC -fsanitize=thread)
    elseif(KALVO_SANITIZE)
        message(FATAL_ERROR "KALVO_SANITIZE must be empty, address or thread")
    endif()
endfunction()
