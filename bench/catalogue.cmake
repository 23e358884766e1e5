# Loading the PFC applications into the catalogue (library lists, directories, export,
# hierarchy) against exporting the same entries through bare ORCA calls. Runs beside the
# ORCA libraries, where the program finds them; needs the test support's PFC workspace.
if(TARGET sorvanti_test_support)
    add_executable(catalogue_bench ${CMAKE_CURRENT_LIST_DIR}/CatalogueBench.cpp)
    target_link_libraries(catalogue_bench PRIVATE catalogue sorvanti_test_support)
    set_target_properties(catalogue_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SORVANTI_BIN_DIR})
    add_dependencies(catalogue_bench pborc040 pborc050 pborc60)
    sorvanti_target(catalogue_bench)
endif()
