sorvanti_fuzz_target(pbl_reader pbl_reader.cpp LIBS pblformat)
# The real libraries, when they are beside the checkout, are replayed as well.
if(SORVANTI_BUILD_TESTS AND EXISTS ${SORVANTI_CORPUS_DIR}/pbl)
    add_test(NAME fuzz_replay.pbl_reader.corpus
             COMMAND pbl_reader_replay ${SORVANTI_CORPUS_DIR}/pbl)
    set_tests_properties(fuzz_replay.pbl_reader.corpus PROPERTIES LABELS "fuzz")
endif()
