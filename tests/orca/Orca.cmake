sorvanti_test(orca_api_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/OrcaApiTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/OrcaCorpusTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/OrcaObjectsTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/OrcaPblutilTest.cpp
    LIBS orcaapi ${CMAKE_DL_LIBS})
target_compile_definitions(orca_api_tests PRIVATE
    SORVANTI_PBORC040="$<TARGET_FILE:pborc040>"
    SORVANTI_PBORC050="$<TARGET_FILE:pborc050>"
    SORVANTI_PBORC60="$<TARGET_FILE:pborc60>")
add_dependencies(orca_api_tests pborc040 pborc050 pborc60)
