sorvanti_fuzz_target(orca_records orca_records.cpp LIBS orcacore)
