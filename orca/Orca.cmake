# Our ORCA library: the work in the static library orcacore (also used by tests and
# pblutil), the C interface of pborca.h in libpborc040.so, libpborc050.so and
# libpborc60.so, which differ only in the format string of the libraries they create.

add_library(orcacore STATIC
    ${CMAKE_CURRENT_LIST_DIR}/OrcaObjects.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OrcaSession.cpp
)
target_link_libraries(orcacore PUBLIC pblformat pblcheck platform)
set_target_properties(orcacore PROPERTIES CXX_VISIBILITY_PRESET hidden
                                          VISIBILITY_INLINES_HIDDEN ON)
sorvanti_target(orcacore)

# The C functions over orcacore, linked statically (tests, tools): creates "0600".
add_library(orcaapi STATIC ${CMAKE_CURRENT_LIST_DIR}/OrcaApi.cpp)
target_compile_definitions(orcaapi PRIVATE SORVANTI_ORCA_FORMAT="0600")
target_link_libraries(orcaapi PUBLIC orcacore)
sorvanti_target(orcaapi)

foreach(version 040 050 60)
    if(version STREQUAL "040")
        set(format "0400")
    elseif(version STREQUAL "050")
        set(format "0500")
    else()
        set(format "0600")
    endif()
    add_library(pborc${version} SHARED ${CMAKE_CURRENT_LIST_DIR}/OrcaApi.cpp)
    target_compile_definitions(pborc${version} PRIVATE SORVANTI_ORCA_FORMAT="${format}")
    target_link_libraries(pborc${version} PRIVATE orcacore)
    # Only the PBORCA_* functions leave the library; nothing of the static libraries
    # inside it does.
    target_link_options(pborc${version} PRIVATE "LINKER:--exclude-libs,ALL")
    # clang leaves the sanitizer runtimes to the executable that loads the library.
    if(NOT SORVANTI_FUZZ)
        target_link_options(pborc${version} PRIVATE "LINKER:--no-undefined")
    endif()
    set_target_properties(pborc${version} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                                     VISIBILITY_INLINES_HIDDEN ON)
    sorvanti_target(pborc${version})
endforeach()

add_executable(pblutil ${CMAKE_CURRENT_LIST_DIR}/pblutil.cpp)
target_link_libraries(pblutil PRIVATE orcacore)
sorvanti_target(pblutil)
