# The tree control: painting a screen and looking up a row on 100,000 nodes against
# 1,000; synchronising the application tree over the PFC workspace after one library
# changed, against building the tree afresh. Runs beside the ORCA libraries.
if(TARGET ui AND TARGET sorvanti_test_support)
    add_executable(tree_bench ${CMAKE_CURRENT_LIST_DIR}/TreeBench.cpp)
    target_link_libraries(tree_bench PRIVATE ui sorvanti_test_support)
    set_target_properties(tree_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SORVANTI_BIN_DIR})
    add_dependencies(tree_bench pborc040 pborc050 pborc60)
    sorvanti_target(tree_bench)
endif()
