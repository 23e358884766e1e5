sorvanti_fuzz_target(reg_parser reg_parser.cpp LIBS platform)
