sorvanti_fuzz_target(windows_path windows_path.cpp LIBS platform)
