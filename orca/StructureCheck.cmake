# The structure check that import and regenerate run on a source before storing it.
add_library(pblcheck STATIC ${CMAKE_CURRENT_LIST_DIR}/StructureCheck.cpp)
sorvanti_target(pblcheck)
