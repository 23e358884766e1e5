sorvanti_fuzz_target(ini_parser ini_parser.cpp LIBS platform)
