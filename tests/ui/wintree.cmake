# The outline control and the application tree, offscreen. The application tree's test
# loads the sample workspace through the real ORCA library, found beside the program.
sorvanti_ui_test(wintree_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WinTreeTest.cpp)
set_target_properties(wintree_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${SORVANTI_BIN_DIR})
target_compile_definitions(wintree_tests PRIVATE
    SORVANTI_SCREENSHOT_DIR="${CMAKE_CURRENT_BINARY_DIR}/screenshots")
add_dependencies(wintree_tests pborc040 pborc050 pborc60)
