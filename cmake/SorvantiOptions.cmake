# Compiler settings shared by every target of the project.

set(SORVANTI_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(SORVANTI_WERROR)
    list(APPEND SORVANTI_WARNINGS -Werror)
endif()

if(SORVANTI_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(SORVANTI_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "SORVANTI_FUZZ needs clang (use the 'fuzz' preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# sorvanti_target(<target>): the project's warnings for a target of its own.
function(sorvanti_target target)
    target_compile_options(${target} PRIVATE ${SORVANTI_WARNINGS})
endfunction()
