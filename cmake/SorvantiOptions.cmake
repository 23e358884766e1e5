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

# sorvanti_headers(<target> <folder>): the headers of <folder> are included as
# "<folder>/Name.h" by the target and by every target that links it, and by no other.
# Each folder gets an include root of its own in the build tree holding one link to the
# folder, so a header of a layer the target does not link is not found and the include
# fails to compile.
function(sorvanti_headers target folder)
    set(root ${CMAKE_BINARY_DIR}/include/${folder})
    if(NOT IS_SYMLINK ${root}/${folder})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    elseif(type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
        target_include_directories(${target} PRIVATE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
