sorvanti_fuzz_target(outline_text outline_text.cpp LIBS views)
