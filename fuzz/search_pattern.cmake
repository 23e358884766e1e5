sorvanti_fuzz_target(search_pattern search_pattern.cpp LIBS search)
