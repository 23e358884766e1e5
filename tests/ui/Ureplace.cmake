sorvanti_ui_test(ui_replace_dialog_tests SOURCES UreplaceTest.cpp)
# Screenshots of the dialog in both modes go to the build folder.
target_compile_definitions(ui_replace_dialog_tests PRIVATE
    SORVANTI_UI_SHOTS_DIR="${CMAKE_CURRENT_BINARY_DIR}")
