sorvanti_test(orca_pbl_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/PblLibraryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PblCorruptTest.cpp
    LIBS pblformat)
