# Reading and writing PowerBuilder library files (.pbl) in memory.
add_library(pblformat STATIC
    ${CMAKE_CURRENT_LIST_DIR}/PblLibrary.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PblReader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PblWriter.cpp
)
target_link_libraries(pblformat PUBLIC platform)
sorvanti_target(pblformat)
