# The outline control (TWinTree), the application view's tree (TPBWinTree) and their
# bitmaps (drawn by resources/make-bitmaps.py, kept as XPM text).
target_sources(ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/wintree.h
    ${CMAKE_CURRENT_LIST_DIR}/wintree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pbwntree.h
    ${CMAKE_CURRENT_LIST_DIR}/pbwntree.cpp
    ${CMAKE_CURRENT_LIST_DIR}/resources/wintree.qrc
)
