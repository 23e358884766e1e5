# The structure check that import and regenerate run on a source before storing it.
add_library(pblcheck STATIC ${CMAKE_CURRENT_LIST_DIR}/StructureCheck.cpp)
target_link_libraries(pblcheck PUBLIC platform)
sorvanti_target(pblcheck)
