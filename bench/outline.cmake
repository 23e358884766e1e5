# Row and index lookups in the outline model on 100,000 nodes against the same on 1,000.
add_executable(outline_bench ${CMAKE_CURRENT_LIST_DIR}/OutlineBench.cpp)
target_link_libraries(outline_bench PRIVATE views)
sorvanti_target(outline_bench)
