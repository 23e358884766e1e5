# Export of every source of the corpus libraries through the ORCA calls, against reading
# the same library files from the page cache.
add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/ExportBench.cpp)
target_link_libraries(export_bench PRIVATE orcaapi)
target_compile_definitions(export_bench PRIVATE
    SORVANTI_CORPUS_DIR="${SORVANTI_CORPUS_DIR}")
sorvanti_target(export_bench)
