# The search-and-replace dialog.
target_sources(ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Ureplace.cpp ${CMAKE_CURRENT_LIST_DIR}/Ureplace.h)
