sorvanti_fuzz_target(gsr_loader gsr_loader.cpp LIBS search)
