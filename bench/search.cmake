# Search of every PFC source held in memory (literal, case, whole word, wildcard), against
# grep -F -c over the same bytes from the page cache.
add_executable(search_bench ${CMAKE_CURRENT_LIST_DIR}/SearchBench.cpp)
target_link_libraries(search_bench PRIVATE search)
target_compile_definitions(search_bench PRIVATE
    SORVANTI_CORPUS_DIR="${SORVANTI_CORPUS_DIR}")
sorvanti_target(search_bench)
